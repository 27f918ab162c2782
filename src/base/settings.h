// Conversion settings as the user gave them: the record the command line and
// command files fill through the option handler, with its defaults. It holds
// no open file. What the run works out from it is the settled record.
#pragma once
#include <cstdint>
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
    int mode = BOOT_MODE_NONE;
    int port = BOOT_PORT_NONE;
    int alignment = 1;  // bytes
};

constexpr uint32_t NOT_GIVEN = 0xFFFFFFFF;  // -1 in address-valued settings

// The row of the output format table a run writes unless an option chooses
// another: Extended Tektronix.
constexpr int DEFAULT_FORMAT = 7;

// The groups --help shows the options in.
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

// Widths are kept in bytes; options give them in bits. Nothing but the option
// handler writes this record; the report files options name are the
// reports' own (map/reports.h).
struct ConvOptions {
    int format = DEFAULT_FORMAT;  // row of output_formats
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
    uint32_t reclen = 0;    // -reclen: data bytes a record holds at most; 0: the format's own lengths
    bool reclen_given = false;
    bool quiet = false;
    bool werror = false;    // -werror: warnings fail the run as errors do
    uint32_t entry_address = NOT_GIVEN;
    bool has_entry_symbol = false;
    std::string entry_symbol;
    uint32_t bootorg = NOT_GIVEN;
    int32_t bootpage = 0;
    bool has_bootstrap = false;
    std::string bootstrap;
    std::vector<std::string> output_names;  // -o, in the order given
    std::vector<std::string> checksums;     // -checksum values, in the order given
    std::vector<std::string> fields;        // -field values, in the order given
    std::vector<std::string> digests;       // -digest values, in the order given
    std::vector<std::string> signatures;    // -signature values, in the order given
    std::vector<std::string> stamps;        // -stamp values, in the order given
    std::string lot;                        // -lot: the lot file and its fields, as given
    std::string lotlog;                     // -lotlog: the log of the units issued
    std::string lotdelta;                   // -lotdelta: the deltas' file (pattern) and format, as given
    std::vector<std::string> inserts;       // -insert values, in the order given
    std::vector<std::string> verifies;      // -verify values, in the order given
    uint32_t verify_limit = 10;             // -verifylimit: runs of differences listed per pair; 0: all
    std::vector<std::string> also;          // -also values: more sets of files, in the order given
    bool list_sections = false;             // -sections: list what the executable holds, convert nothing
    bool list_symbols = false;              // -symbols: the same, with the symbols
    std::vector<std::string> outputs;       // -outputs: the files a build expects the run to write
    int addrunit = 8;                       // -addrunit: bits an ELF file's addresses count (8 or 16)
    int device = 7734;
    bool device_given = false;  // a -v7734 option was given
    int revision = 2;
    BootParams boot;
    std::vector<BootEntry> boot_entries;
    int verbose = 0;
    int symtrace = 0;
};

}  // namespace khex
