// Section specs: which sections are converted, where, and how, as the SECTIONS
// directive (or the default of every section) gives them.
#pragma once
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace khex {

struct RomRange;

enum SpecFlag : unsigned {
    SPEC_BOOT = 0x01,        // loaded through the boot table
    SPEC_CINIT = 0x02,       // RAM-model autoinitialisation section
    SPEC_INCOMPLETE = 0x04,  // some data could not be placed
    SPEC_TAKEN = 0x08,       // used while ordering the section table and by the map
    SPEC_LISTED = 0x10,      // listed in the map entry of an earlier range
};

struct SectionSpec {
    std::string name;
    int section;             // index into the section table, -1 for none
    uint32_t paddr;          // physical address of the first byte
    uint32_t start_address;  // first address in the range that last received data
    int32_t page;
    uint32_t end_address;    // last address written
    int32_t datawidth;       // bytes; -1 not given
    RomRange* range;         // range that last received data
    unsigned flags;
};

struct SpecState {
    std::deque<SectionSpec> store;          // every spec ever begun
    std::vector<SectionSpec*> spec_list;    // completed specs in order
    std::unordered_set<std::string_view> listed_names;
    SectionSpec* current_spec;
    int selected_count;
};
extern SpecState specs;

void reset_specs();

// SECTIONS directive handlers.
void sections_begin();
void spec_begin(const char* name);
void spec_boot();
void spec_datawidth(uint32_t bits);
void spec_paddr(uint32_t value);
void spec_end();

}  // namespace khex
