// The table of output formats: every fact about a format that the rest of
// khex needs is a column here, the option words that select it included, so
// a new format is one row and one writer file.
#pragma once
#include <string>

#include "hexfile/reader.h"
#include "memory/ranges.h"
#include "output/stream.h"

#include "base/settings.h"

namespace khex {

// The rows the rest of khex names; ConvOptions::format holds a row number.
enum OutputFormatIndex {
    FORMAT_DEBUG = 0,
    FORMAT_INTEL = 1,
    FORMAT_MOTOROLA = 2,
    FORMAT_MOTOROLA_S1 = 3,
    FORMAT_MOTOROLA_S2 = 4,
    FORMAT_MOTOROLA_S3 = 5,
    FORMAT_ZQ_TAGGED = 6,
    FORMAT_TEKTRONIX = 7,
    FORMAT_ASCII_HEX = 8,
    FORMAT_GENERIC = 9,
    FORMAT_BINARY = 10,
    FORMAT_VERILOG = 11,
    FORMAT_MIF = 12,
    FORMAT_COE = 13,
    FORMAT_C_ARRAY = 14,
};

// An option word that selects the format, as typed after its dash: one letter
// ("i"), a whole word ("m1"), or "-" and a letter ("-d", typed --d, where only
// that letter counts). Each form is matched at its own step of the option
// matching.
struct FormatWord {
    const char* word;  // nullptr: no word
    int romwidth;      // ROM width in bytes the word sets too; 0: none
    bool forced;       // sets that ROM width (and the row's memory width) even after -romwidth
    bool extension;    // a whole word of khex's own, matched with the other extension words
};

// Widths are in bytes.
struct OutputFormat {
    int index;              // the row's own number, checked against its place
    const char* name;       // shown in the progress line and the map
    FormatWord words[2];    // the option words that select it
    int unit;               // smallest ROM width the format can carry
    const char* extension;  // default extension: a dot, a letter and "00"
    RecordWriter writer;
    DataRunWriter run;      // runs of data operations in one call; nullptr: one at a time
    bool binary;            // files opened in binary mode, not as text
    int widest_operation;   // widest ROM word one record can take (its count field is
                            // one byte and may already hold its threshold); 0: no limit
    int romwidth_option;    // the only ROM width a -romwidth option may give; 0: any
    int memwidth;           // the only memory width the format can carry; 0: any
    int variant;            // which kind of record a writer shared by rows writes
    bool device_words;      // records carry the ROM device's word addresses from the range's first byte
    int longest_record;     // the most data bytes -reclen may give a record; 0: -reclen does not apply
    int readback;           // the hex reader that reads its files back (HEX_...); HEX_DETECT: none
};

extern const OutputFormat output_formats[];
extern const int format_count;  // rows of output_formats

// What resolving the ranges needs of a row.
FormatRules format_rules(const OutputFormat& format);

// -reclen's record length: a multiple of every range's ROM width in bytes and
// at most what the format's length field carries, for the formats that count
// their bytes; an ERROR otherwise.
void check_record_length(const ConvOptions& options, const OutputFormat& format, const RangeState& ranges,
                         Diagnostics& d);

// The names of the formats whose files khex reads back, for messages.
std::string readable_format_names();

// The row that the options select.
const OutputFormat& selected_format(const ConvOptions& options);

}  // namespace khex
