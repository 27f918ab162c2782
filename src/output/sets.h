// -also: more sets of files from the one placement of a run. A set names a
// format, one range or all of them, a ROM width and a pattern of names;
// resolved once the ranges are, it becomes a view of each range it writes
// (the range with the set's ROM width and file names), which the output
// framework writes beside the run's own files.
#pragma once
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "base/diagnostics.h"
#include "base/settings.h"
#include "memory/ranges.h"
#include "output/formats.h"

namespace khex {

struct AlsoSet {
    std::string text;                       // the option's value, as given
    const OutputFormat* format = nullptr;
    int32_t romwidth = 0;                   // bytes; 0: each range's own
    const RomRange* only = nullptr;         // RANGE; nullptr: every range
    std::string pattern;                    // names=; empty: the format's default names
    std::deque<RomRange> views;             // the ranges as the set writes them
    std::vector<const RomRange*> view_of;   // by range index; nullptr: not written
};

struct AlsoState {
    std::deque<AlsoSet> sets;               // in the order given
};

// Once the ranges are resolved: each -also's format, range, width and names,
// and its views; a set whose writer cannot carry its widths, or whose pattern
// cannot name its files, is an ERROR naming it.
void read_also_requests(AlsoState& also, Diagnostics& d, const ConvOptions& options, const RangeState& ranges,
                        const std::string& coff_name);

// The names a set's format may be given by: the option words of the formats
// without their dash, and a name of each.
std::string also_format_names();

}  // namespace khex
