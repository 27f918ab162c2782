// The data path: every piece of section data goes into the ROM ranges (or the
// boot table) in one forward pass, without a memory image.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace khex {

struct Run;
struct RomRange;
struct SectionSpec;

// Where a section entry's data went.
struct Placement {
    const RomRange* range = nullptr;  // range that last received data
    uint32_t start_address = 0;       // first address in that range
    uint32_t end_address = 0;         // last address written
    bool incomplete = false;          // some data could not be placed
    std::string unplaced;             // why, as the JSON report says it
};

struct DatapathState {
    const RomRange* current_range = nullptr;  // the placement cursor
    uint32_t next_address = 0;                // where the next byte placed in it goes
    SectionSpec* current_spec = nullptr;      // the section entry whose data is being placed
    std::vector<Placement> placements;        // by section entry index
    std::vector<SectionSpec*> spec_by_section;
    bool cinit_announced = false;
    bool has_bss = false;                     // .bss: the base of RAM-model .cinit records
    uint32_t bss_vaddr = 0;
    std::vector<uint8_t> pattern;             // fill pattern of the current range, arranged
    std::vector<uint8_t> pattern_view;        // the same as the target reads it
    std::vector<uint8_t> fill_block;          // repeated fill words for image mode
    std::vector<uint8_t> fill_view;           // the same as the target reads them
    std::vector<uint8_t> slot_bytes;          // a checksum's slot
    std::vector<uint8_t> record_copy;         // autoinitialisation data with room to pad
};

// Makes the first range current, once the sections are selected.
void start_placement(Run& run);

// The loader's piece sink: every piece of section data.
void write_target_memory(Run& run, int section, uint8_t* data, int nbytes, uint32_t address);

uint32_t physical_address(const Run& run, const SectionSpec& spec, uint32_t address);

// Puts nbytes bytes of a section entry, the first at address, into the ranges,
// on the entry's page. The buffer must have room for memwidth - 1 pad
// bytes after the data. Returns the bytes handed to the writers, pad bytes
// included.
int place_data(Run& run, SectionSpec* spec, uint8_t* data, int nbytes, uint32_t address);

// Closes the ranges that remain, filling them in image mode.
void finish_conversion(Run& run);

const Placement& placement_of(const Run& run, const SectionSpec& spec);

}  // namespace khex
