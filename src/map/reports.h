// The reports of a conversion: the map file, written range by range as each
// is closed, and the picture of the ROM layout, drawn at the end.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "map/contents.h"

namespace khex {

struct Run;
struct RomRange;

// What the picture and the JSON report keep of a range when it is closed.
struct RangePicture {
    const RomRange* range;
    std::vector<ContentEntry> contents;
};

struct ReportState {
    bool map_title_pending = true;
    bool map_closed = false;
    bool picture_written = false;
    bool json_written = false;
    std::vector<bool> listed;             // by section entry index: listed in a range's contents
    std::vector<RangePicture> pictures;   // the ranges closed so far
};

// The map's header; after the symbol pass.
void write_map_header(Run& run);

// A range was closed: its map entry, and what the picture keeps of it.
void report_range_closed(Run& run, const RomRange& r);
// The map entry of a range, with what it holds.
void write_map_range(Run& run, const RomRange& r, const std::vector<ContentEntry>& contents);

// At the end of a run that converted: the map file is closed, the picture
// written and closed; a failed write is FATAL.
void close_map_file(Run& run);
void write_svg_map(Run& run);
void write_json_map(Run& run);
// The Make rule of -depfile: the files the run wrote, and what it read.
void write_depfile(Run& run);

// Lane i of range r as the reports show it: "code_lo.hex [b0..b7]", and the
// range's ROM-device addresses under -romaddr.
struct LaneFacts {
    int first_bit, last_bit;
    bool device;              // ROM-device addresses apply
    uint32_t rom_first, rom_last;
};
LaneFacts lane_facts(const Run& run, const RomRange& r, int i);

// Writes a report's whole text and closes its pending file; a failed write or
// close is FATAL "error writing <kind> file".
void write_report_file(Run& run, FILE* file, const std::string& name, const std::string& text, const char* kind);

// "%08lx" of a value.
std::string hex8(uint32_t value);

}  // namespace khex
