// The table of output formats: every fact about a format that the rest of
// khex needs is a column here, so a new format is one row and one writer file
// (plus the option that selects it).
#pragma once
#include "output/stream.h"

namespace khex {

// Rows of output_formats; ConvOptions::format holds one of them.
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
};

// Widths are in bytes.
struct OutputFormat {
    const char* name;       // shown in the progress line and the map
    int unit;               // smallest ROM width the format can carry
    const char* extension;  // default extension: a dot, a letter and "00"
    RecordWriter writer;
    DataRunWriter run;      // runs of data operations in one call; none: one call per operation
    bool binary;            // files opened in binary mode, not as text
    int widest_operation;   // widest ROM word one record can take (its count field is
                            // one byte and may already hold its threshold); 0: no limit
    int romwidth_option;    // the only ROM width a -romwidth option may give; 0: any
    int memwidth;           // the only memory width the format can carry; 0: any
    int variant;            // which kind of record a writer shared by rows writes
};

constexpr int FORMAT_COUNT = 11;
extern const OutputFormat output_formats[FORMAT_COUNT];

// The row that ConvOptions::format selects.
const OutputFormat& selected_format();

}  // namespace khex
