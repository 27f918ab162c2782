// The table of output formats.
#pragma once
#include "output/stream.h"

namespace khex {

struct OutputFormat {
    const char* name;       // shown in the progress line and the map
    int unit;               // smallest ROM width in bytes the format can carry
    const char* extension;  // default extension: a dot, a letter and "00"
    RecordWriter writer;
    DataRunWriter run;      // runs of data operations in one call; none: one call per operation
};

constexpr int FORMAT_COUNT = 11;
extern const OutputFormat output_formats[FORMAT_COUNT];

}  // namespace khex
