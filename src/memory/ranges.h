// ROM ranges: the target's physical memory as the ROMS directive describes it,
// each range with its widths, fill value and output files.
#pragma once
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "base/diagnostics.h"
#include "base/settings.h"

namespace khex {

struct SectionSpec;

// A range splits each memory word into at most this many byte lanes, one
// output file each.
constexpr int MAX_LANES = 8;

constexpr uint32_t UNSET = 0xFFFFFFFF;  // attribute not given (-1)

// Addresses and lengths count bytes; widths are kept in bytes. Complete once
// the ranges are resolved; nothing changes a range afterwards.
struct RomRange {
    std::string name;        // at most 31 characters
    uint32_t origin;
    uint32_t end;            // last address, inclusive
    int32_t page;
    uint32_t length;
    int32_t romwidth;
    int32_t memwidth;
    bool fill_given;
    uint32_t fill;
    int32_t file_count;
    std::vector<std::string> files;
    bool origin_given;
    bool length_given;
    bool length_accepted;    // the ROMS entry gave a length, and it was not refused
    bool image_checked;      // completed while image mode was on: its -image checks are done
    size_t index;            // position in the range list
};

struct RangeState {
    std::deque<RomRange> store;        // every range ever begun; never shrinks in a run
    std::vector<RomRange*> rom_list;   // ranges in definition order
    RomRange* defining = nullptr;      // range whose ROMS entry is being read
    int32_t roms_page = 0;
    size_t output_names_used = 0;      // -o names taken by ranges so far
};

// Where placement stands: the range it fills, the address the next placed
// byte goes to, and the section entry whose data it places. The placement
// writes it; the boot table reads it to pad its pieces for the right range.
struct Cursor {
    const RomRange* current_range = nullptr;
    uint32_t next_address = 0;
    SectionSpec* current_spec = nullptr;
};

// ROMS directive handlers, in the order the directive text gives them.
void roms_begin(RangeState& ranges, Diagnostics& d);
void roms_set_page(RangeState& ranges, uint32_t page);
void range_begin(RangeState& ranges, const char* name);
void range_origin(RangeState& ranges, Diagnostics& d, uint32_t value);
void range_length(RangeState& ranges, Diagnostics& d, uint32_t value);
void range_romwidth(RangeState& ranges, Diagnostics& d, uint32_t bits);
void range_memwidth(RangeState& ranges, Diagnostics& d, uint32_t bits);
void range_fill(RangeState& ranges, Diagnostics& d, uint32_t value);
void range_add_file(RangeState& ranges, const char* name);
// image: -image was given before the entry's end, so its bounds are checked now
void range_end(RangeState& ranges, Diagnostics& d, bool image);

// What resolving the ranges needs to know of the chosen output format.
struct FormatRules {
    int unit;               // smallest ROM width in bytes the format can carry
    int widest_operation;   // widest ROM word in bytes one record can take; 0: no limit
    const char* name;       // as messages name the format
    std::string extension;  // of default file names: a dot and the format's letter
};

// Default ranges, widths, fill values and output files; once, before loading.
// Default file names come from the COFF file's name.
void resolve_memory(RangeState& ranges, Diagnostics& d, const ConvOptions& options, const FormatRules& format,
                    const std::string& coff_name);

// The one range of that name; nullptr with why in error ("no range named
// 'x' (ranges: A, B)", pointing out a name that differs only in case).
const RomRange* range_named(const RangeState& ranges, const std::string& name, std::string& error);

// The name of file file_index of range range_index that nobody named: the
// COFF file's base name with the format's extension (a dot and its letter),
// the range's number when there are several ranges, and the file's number.
std::string default_file_name(const std::string& coff_name, const std::string& extension, int range_index,
                              bool several_ranges, int file_index);

// The range after r in the list, or nullptr.
const RomRange* next_range(const RangeState& ranges, const RomRange* r);

// A width in bytes as the bits that messages and the map show.
int bits(int32_t bytes);

// Records of a range whose ROM is narrower than its memory word carry, under
// -romaddr, the address in the ROM device: the word at target byte address A
// is at (A / memwidth) * romwidth, counted from the range's first byte with
// -zero. Otherwise records carry target byte addresses.
bool device_addressing(bool romaddr, const RomRange& r);
uint32_t device_address(const RomRange& r, uint32_t address, bool zero);

}  // namespace khex
