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

#include "base/diagnostics.h"
#include "base/settings.h"
#include "base/settled.h"

namespace khex {

struct CoffState;
struct SectionHeader;

enum SpecFlag : unsigned {
    SPEC_BOOT = 0x01,   // loaded through the boot table
    SPEC_CINIT = 0x02,  // RAM-model autoinitialisation section
    SPEC_INSERT = 0x04, // a block of an inserted file (-insert), named after the file
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
    // then the others in the table's order. A step of -1 - k is block k of
    // the inserted files (memory/inserts.h).
    std::vector<int> conversion_order;
};

// SECTIONS directive handlers.
void sections_begin(SpecState& specs, Diagnostics& d);
void spec_begin(SpecState& specs, const char* name);
void spec_boot(SpecState& specs, Diagnostics& d);
void spec_datawidth(SpecState& specs, Diagnostics& d, uint32_t bits);
void spec_paddr(SpecState& specs, Diagnostics& d, uint32_t value);
void spec_end(SpecState& specs, Diagnostics& d);

// Matches the section entries to the COFF file's sections (every section when
// there is no SECTIONS directive) and puts them into conversion order.
// Boot-loaded entries go to the settled boot table address.
void select_sections(SpecState& specs, Diagnostics& d, const ConvOptions& options, const Settled& settled,
                     const CoffState& coff, const std::string& coff_name);

// The section a matched section entry converts.
const SectionHeader& section_of(const CoffState& coff, const SectionSpec& spec);

// Whether a selected section goes through the boot table.
bool boot_sections_selected(const SpecState& specs);

}  // namespace khex
