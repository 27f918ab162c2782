// Conversion settings as the user gave them: the record the command line and
// command files fill, its defaults, and the option handler they share. What
// the run works out from them (byte order, device, boot table origin, entry
// point, ...) is the settled record of memory/translate.h.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "output/formats.h"

namespace khex {

struct Run;

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
    int mode = BOOT_MODE_NONE;
    int port = BOOT_PORT_NONE;
    int alignment = 1;  // bytes
};

constexpr uint32_t NOT_GIVEN = 0xFFFFFFFF;  // -1 in address-valued settings

// Widths are kept in bytes; options give them in bits. Nothing but the option
// handler writes this record.
struct ConvOptions {
    int format = FORMAT_TEKTRONIX;  // row of output_formats
    int romwidth = 1;
    bool romwidth_given = false;
    int memwidth = 2;
    int datawidth = 1;
    int order = ORDER_NONE;
    bool image = false;
    bool zero = false;
    bool romaddr = false;   // -romaddr: lane files carry ROM-device addresses
    bool boot_all = false;  // -boot: every initialized section goes into the boot table
    uint32_t fill = 0;
    int32_t olength = 20;
    bool quiet = false;
    bool werror = false;    // -werror: warnings fail the run as errors do
    uint32_t entry_address = NOT_GIVEN;
    bool has_entry_symbol = false;
    std::string entry_symbol;
    uint32_t bootorg = NOT_GIVEN;
    int32_t bootpage = 0;
    bool has_bootstrap = false;
    std::string bootstrap;
    FILE* map_file = nullptr;  // a pending file (platform/pending.h) from -map
    std::string map_name;
    FILE* svg_file = nullptr;  // -mapsvg: a picture of the ROM layout
    std::string svg_name;
    FILE* json_file = nullptr;  // -mapjson: the map's facts for programs
    std::string json_name;
    FILE* depfile = nullptr;    // -depfile: a Make rule of what the run read and wrote
    std::string depfile_name;
    std::vector<std::string> output_names;  // -o, in the order given
    std::vector<std::string> checksums;     // -checksum values, in the order given
    int device = 7734;
    bool device_given = false;  // a -v7734 option was given
    int revision = 2;
    BootParams boot;
    std::vector<BootEntry> boot_entries;
    int verbose = 0;
    int symtrace = 0;
};

void handle_option(Run& run, const char* text, bool from_command_file);

// Option matching, in the order of its steps; the first step that takes a
// text wins.
enum OptionStep {
    STEP_LETTER = 2,       // a single letter
    STEP_WORD = 3,         // a whole word of the classic options
    STEP_PREFIX = 4,       // a word's beginning
    STEP_LATE_WORD = 5,    // map, bootpage
    STEP_EXTENSION = 6,    // a whole word of khex's own
    STEP_DOUBLE_DASH = 7,  // "--" and the letter after it
};

using OptionHandler = void (*)(Run& run, const char* typed, bool from_command_file);

// The groups of --help.
enum OptionGroup {
    GROUP_FORMATS,
    GROUP_RANGES,
    GROUP_IMAGE,
    GROUP_BOOT,
    GROUP_FILES,
    GROUP_BUILD,
    GROUP_INFO,
    GROUP_COUNT,
};

struct OptionRow {
    const char* word;      // lower case, without the option's dash ("-help" is typed --help)
    OptionHandler handle;
    const char* value;     // what --help shows of its value; nullptr: none
    int group;
    const char* help;      // one line; nullptr: another spelling of the row above it with its handler
};

// What takes an option text (lower case, without its dash): a handler, or a
// word of the output format table; step 0 when nothing does.
struct OptionMatch {
    int step;
    OptionHandler handle;
    int format;                     // the format row a format word selects
    const FormatWord* format_word;
};
OptionMatch match_option(const char* lower);

// The words khex added to the classic options, each matched whole.
struct OptionRows {
    const OptionRow* rows;
    size_t count;
    const char* dashes = "-";  // what the user types before a row's word
};
OptionRows extension_options();
// Every table of option rows, in matching order.
std::vector<OptionRows> option_tables();

}  // namespace khex
