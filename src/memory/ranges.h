// ROM ranges: the target's physical memory as the ROMS directive describes it,
// each range with its widths, fill value and output files.
#pragma once
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace khex {

struct Run;

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

// ROMS directive handlers, in the order the directive text gives them.
void roms_begin(Run& run);
void roms_set_page(Run& run, uint32_t page);
void range_begin(Run& run, const char* name);
void range_origin(Run& run, uint32_t value);
void range_length(Run& run, uint32_t value);
void range_romwidth(Run& run, uint32_t bits);
void range_memwidth(Run& run, uint32_t bits);
void range_fill(Run& run, uint32_t value);
void range_add_file(Run& run, const char* name);
void range_end(Run& run);

// Default ranges, widths, fill values and output files; once, before loading.
void resolve_memory(Run& run);

// The range after r in the list, or nullptr.
const RomRange* next_range(const Run& run, const RomRange* r);

// A width in bytes as the bits that messages and the map show.
int bits(int32_t bytes);

// Records of a range whose ROM is narrower than its memory word carry, under
// -romaddr, the address in the ROM device: the word at target byte address A
// is at (A / memwidth) * romwidth, counted from the range's first byte with
// -zero. Otherwise records carry target byte addresses.
bool device_addressing(const Run& run, const RomRange& r);
uint32_t device_address(const Run& run, const RomRange& r, uint32_t address);

}  // namespace khex
