// ROM ranges: the target's physical memory as the ROMS directive describes it,
// each range with its widths, fill value and output files.
#pragma once
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace khex {

constexpr uint32_t UNSET = 0xFFFFFFFF;  // attribute not given (-1)

// Addresses and lengths count bytes; widths are kept in bytes.
struct RomRange {
    std::string name;        // at most 31 characters
    uint32_t origin;
    uint32_t end;            // last address, inclusive
    uint32_t next_address;   // where the next byte placed in the range goes
    uint32_t written_up_to;  // address after the last byte given to the files
    uint32_t record_address; // address the writers put into records
    int32_t page;
    uint32_t length;
    int32_t romwidth;
    int32_t memwidth;
    bool fill_given;
    uint32_t fill;
    int32_t file_count;
    std::vector<std::string> files;
    bool files_open;
    bool origin_given;
    bool length_given;
    bool length_accepted;  // the ROMS entry gave a length, and it was not refused
    bool image_checked;  // completed while image mode was on: its -image checks are done
};

struct RangeState {
    std::deque<RomRange> store;        // every range ever begun; never shrinks in a run
    std::vector<RomRange*> rom_list;   // ranges in definition order
    RomRange* current_range;           // range being defined, later the placement cursor
    int32_t roms_page;
};
extern RangeState ranges;

void reset_ranges();

// ROMS directive handlers, in the order the directive text gives them.
void roms_begin();
void roms_set_page(uint32_t page);
void range_begin(const char* name);
void range_origin(uint32_t value);
void range_length(uint32_t value);
void range_romwidth(uint32_t bits);
void range_memwidth(uint32_t bits);
void range_fill(uint32_t value);
void range_add_file(const char* name);
void range_end();

void add_output_name(const char* name);

// Default ranges, widths, fill values and output files; once, before loading.
void resolve_memory();

// The range after r in the list, or nullptr.
RomRange* next_range(const RomRange* r);

// A width in bytes as the bits that messages and the map show.
int bits(int32_t bytes);

}  // namespace khex
