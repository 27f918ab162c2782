// The reports of a conversion: the map file, its picture, the JSON report and
// the dependency file, each a row of one table. Options open their files at
// once; ranges leave their contents here as they close; at the end of a run
// that converted, each open report's text is made from what the run did and
// written whole.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "base/diagnostics.h"
#include "base/settings.h"
#include "base/settled.h"
#include "boot/table.h"
#include "coff/loader.h"
#include "coff/sym.h"
#include "map/contents.h"
#include "memory/inserts.h"
#include "memory/lanes.h"
#include "memory/ranges.h"
#include "memory/specs.h"
#include "memory/values.h"
#include "output/framework.h"
#include "output/verify.h"
#include "placement/placer.h"
#include "platform/pending.h"

namespace khex {

// A report file an option opened: a pending file (platform/pending.h).
struct ReportFile {
    FILE* file = nullptr;
    std::string name;
};

// What the reports keep of a range when it is closed.
struct RangePicture {
    const RomRange* range;
    std::vector<ContentEntry> contents;
};

// A unit of a lot as the JSON report of the lot's common image lists it:
// its id and row, its per-unit values as stored, its own files.
struct UnitReport {
    std::string id;
    unsigned line = 0;
    struct Slot {
        std::string kind;   // "stamp number", "checksum crc32", ...
        uint32_t at = 0;
        std::string bytes;  // the value's bytes in hex, a number's most significant first
    };
    std::vector<Slot> values;
    std::vector<std::pair<std::string, std::string>> files;  // name, SHA-256 in hex
};

struct ReportState {
    std::vector<ReportFile> files;       // by row of the report table, from the first one opened
    std::vector<bool> listed;            // by section entry index: listed in a range's contents
    std::vector<RangePicture> pictures;  // the ranges closed so far
    const std::vector<UnitReport>* units = nullptr;  // a lot's units, in its common image's report
};

// What the reports read: every record of the run they describe.
struct ReportFacts {
    const ConvOptions& options;
    const Settled& settled;
    const Diagnostics& diagnostics;
    const std::string& coff_name;
    const std::vector<std::string>& command_files;
    const CoffState& coff;
    const SymbolTable& symbols;
    const RangeState& ranges;
    const SpecState& specs;
    const PlacementState& placement;
    const ValueState& values;
    const InsertState& inserts;
    const BootTable& boot_table;
    const OutputState& output;
    const VerifyState& verify;
    const ReportState& reports;
};

// A report's whole text; false: the report writes nothing this run, and an
// earlier file of its name stays as it was.
using ReportWriter = bool (*)(const ReportFacts& facts, std::string& text);

// One report file: how an option asks for it and what is written into it.
struct ReportRow {
    const char* word;        // the option word, without its dash
    bool classic;            // matched with the classic words (-map), not khex's own
    FileRole role;           // how its pending file is written, and named in messages
    const char* kind_word;   // "error writing <kind_word> file"
    const char* use;         // how the file-use check names it
    bool needs_contents;     // reads the ranges' contents, taken as each range closes
    bool needs_tallies;      // reads each output file's byte count, CRC and sum
    bool is_target;          // one of the files the run wrote, for the dependency file
    bool in_listing;         // written by a run that lists the executable (-sections) too
    ReportWriter write;
    int group;               // --help: its group, value and line
    const char* value;
    const char* help;
};

extern const ReportRow report_rows[];
extern const int report_count;  // rows of report_rows

// Opens the report file of a row under name (a later option replaces the
// file of an earlier one); false with errno set when it cannot be created.
bool open_report(ReportState& reports, PendingFiles& pending, const ReportRow& row, const std::string& name);

// Whether any open report needs the ranges' contents, or the files' tallies.
bool reports_need_contents(const ReportState& reports);
bool reports_need_tallies(const ReportState& reports);

// A range was closed: what the reports keep of it, taken now, since its
// entry reads the section entries as they stand then.
void report_range_closed(ReportState& reports, const ReportFacts& facts, const RomRange& r);

// Writes each open report's text, in the order of the rows, and closes its
// file; a failed write is FATAL "error writing <kind> file".
void write_reports(ReportState& reports, const ReportFacts& facts, PendingFiles& pending, Diagnostics& d);

// Lane i of range r as the reports show it: the map's "code_lo.hex [b0..b7]"
// counts lanes in lane order; the bits the file carries, and the range's
// ROM-device addresses under -romaddr.
struct LaneFacts {
    int first_bit, last_bit;  // the map's label: the i-th ROM width of the word
    LaneBits carried;         // the bits of the memory word the file's bytes are
    bool device;              // ROM-device addresses apply
    uint32_t rom_first, rom_last;
};

// The files of range r that the -also sets write: each set's view of the
// range, the set's number and format.
struct SetView {
    const RomRange* view;
    int set;
    const OutputFormat* format;
};
std::vector<SetView> set_views(const ReportFacts& facts, const RomRange& r);

// How the run arranged the bytes of a memory word of the default data width.
WordArrangement word_arrangement(const ReportFacts& facts);
LaneFacts lane_facts(const ReportFacts& facts, const RomRange& r, int i);

// -sections: each section of the executable in the file's order, its kind
// and the section entry that selects it, with the range that would hold its
// first byte; -symbols: the symbols by address, and a symbol's section.
struct SectionLine {
    const SectionHeader* section;
    const char* kind;           // "initialised", "uninitialised", "copy", "RAM-model .cinit", ...
    const SectionSpec* spec;    // nullptr: not selected
    const RomRange* range;      // nullptr: boot-loaded, or in no range
};
const char* section_kind(const SectionHeader& s);
std::vector<SectionLine> section_lines(const ReportFacts& facts);
std::vector<const SymbolRecord*> symbols_by_address(const ReportFacts& facts);
std::string symbol_section(const ReportFacts& facts, const SymbolRecord& s);
// The listing for people, on out.
void print_listing(const ReportFacts& facts, FILE* out);

// "%08lx" of a value.
std::string hex8(uint32_t value);

}  // namespace khex
