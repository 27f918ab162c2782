// Section entries: which sections are converted, where, and how, as the SECTIONS
// directive (or the default of every section) gives them, and the order the
// selection puts them in.
#pragma once
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace khex {

struct Run;
struct SectionHeader;

enum SpecFlag : unsigned {
    SPEC_BOOT = 0x01,   // loaded through the boot table
    SPEC_CINIT = 0x02,  // RAM-model autoinitialisation section
};

struct SectionSpec {
    std::string name;
    int section;             // index into the section table, -1 for none
    uint32_t paddr;          // physical address of the first byte
    int32_t page;
    int32_t datawidth;       // bytes; -1 not given
    unsigned flags;
    size_t index;            // position in the section entry list
};

struct SpecState {
    std::deque<SectionSpec> store;          // every section entry ever begun
    std::vector<SectionSpec*> spec_list;    // completed section entries in order
    std::unordered_set<std::string_view> listed_names;
    SectionSpec* defining = nullptr;        // the entry of SECTIONS being read
    int selected_count = 0;
    // Every section table index in conversion order: the selected sections,
    // then the others in the table's order.
    std::vector<int> conversion_order;
};

// SECTIONS directive handlers.
void sections_begin(Run& run);
void spec_begin(Run& run, const char* name);
void spec_boot(Run& run);
void spec_datawidth(Run& run, uint32_t bits);
void spec_paddr(Run& run, uint32_t value);
void spec_end(Run& run);

// Matches the section entries to the COFF file's sections (every section when there is
// no SECTIONS directive) and puts them into conversion order.
void select_sections(Run& run);

// The section a matched section entry converts.
const SectionHeader& section_of(const Run& run, const SectionSpec& spec);

// Whether a selected section goes through the boot table.
bool boot_sections_selected(const Run& run);

}  // namespace khex
