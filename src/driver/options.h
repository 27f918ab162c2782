// Conversion settings: the one record every module reads, its defaults, and the
// option handler shared by the command line and command files.
#pragma once
#include <cstdint>
#include <cstdio>
#include <deque>
#include <string>
#include <vector>

namespace khex {

enum ByteOrder { ORDER_NONE = 0, ORDER_LS = 1, ORDER_MS = 2 };

enum BootEntryKind {
    BOOT_REGISTER = 1,         // register address with a numeric value
    BOOT_REGISTER_SYMBOL = 2,  // register address with a symbol still to resolve
    BOOT_DELAY = 3,
    BOOT_START_DSP = 4,
};

struct BootEntry {
    int kind;
    uint32_t address;
    uint32_t value;
    std::string name;  // symbol name of a BOOT_REGISTER_SYMBOL entry
};

enum BootMode {
    BOOT_MODE_WREN16 = 0,
    BOOT_MODE_WREN32 = 1,
    BOOT_MODE_8BIT = 2,
    BOOT_MODE_KITE16 = 3,
    BOOT_MODE_NONE = 8,
};
enum BootPort { BOOT_PORT_NONE = 0, BOOT_PORT_SERIAL = 2, BOOT_PORT_PARALLEL = 3 };

struct BootParams {
    int mode;
    int port;
    int alignment;  // bytes
};

constexpr uint32_t NOT_GIVEN = 0xFFFFFFFF;  // -1 in address-valued settings

// Widths are kept in bytes; options give them in bits.
//
// Every field is the user's setting once the command line has been walked,
// except these few, which the run settles once, each before any section data
// is placed, and which nothing changes afterwards:
//   order           0 (not given) until start_translation (memory/translate.cpp)
//                   makes it MS or LS from the target's byte order; from the
//                   header read on it is always MS or LS.
//   device          start_translation: 1 or 2 for a Phase 1 or Phase 2 file.
//   boot.alignment  start_translation: 2 for the K7734 at revision 2 or 3, at
//                   least 2 at revision 1.
//   bootorg,        boot_table_start (boot/table.cpp, from start_translation):
//   bootpage        the first range's origin and page when not given.
//   entry_address   resolve_entry_point (coff/sym.cpp, end of the symbol pass):
//                   the -e symbol's value, or the COFF file's entry point.
//   boot_entries    resolve_reg_config_symbols (coff/sym.cpp): symbol values.
//   zero            resolve_memory (memory/ranges.cpp): off without -image.
//   output_names    resolve_memory takes the -o names from its head.
struct ConvOptions {
    int format;  // row of output_formats (output/formats.h)
    int romwidth;
    bool romwidth_given;
    int memwidth;
    int datawidth;
    int order;
    bool image;
    bool zero;
    bool romaddr;  // -romaddr: lane files carry ROM-device addresses
    bool boot_all;  // -boot: every initialized section goes into the boot table
    uint32_t fill;
    int32_t olength;
    bool quiet;
    uint32_t entry_address;
    bool has_entry_symbol;
    std::string entry_symbol;
    uint32_t bootorg;
    int32_t bootpage;
    bool has_bootstrap;
    std::string bootstrap;
    FILE* map_file;
    std::string map_name;
    FILE* svg_file;  // -mapsvg: a picture of the ROM layout
    std::string svg_name;
    std::deque<std::string> output_names;
    int device;
    bool device_given;  // a -v7734 option was given
    int revision;
    BootParams boot;
    std::vector<BootEntry> boot_entries;
    int verbose;
    int symtrace;
};
extern ConvOptions options;

// Puts every setting and every module's state back to its default.
void set_defaults();
void reset_options();

void walk_command_line(int argc, const char* const* argv);
void handle_option(const char* text, bool from_command_file);
[[noreturn]] void print_usage(bool full);
// --help: the full usage text, status 0; --version: "khex <version>", status 0.
[[noreturn]] void print_help();
[[noreturn]] void print_version();

}  // namespace khex
