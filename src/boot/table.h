// The K7734 boot table: a header, one record per boot-loaded section followed
// by its bytes, and an end marker, all in 16-bit fields placed into the ranges.
#pragma once
#include <cstdint>
#include <vector>

namespace khex {

struct Run;
struct SectionSpec;

enum BootTableState {
    BOOT_IDLE = 0,       // no table in progress
    BOOT_FIELDS = 1,     // table fields being written
    BOOT_SECTION = 2,    // a boot section's data being written
};

// Where each part of the tables begins, for the map's picture: a part runs
// up to the next mark, the last one up to boot_address.
struct BootMark {
    enum Kind { HEADER, SECTION, END_MARKER };
    Kind kind;
    uint32_t address;
    const SectionSpec* spec;  // SECTION: the section whose record and bytes follow
    uint32_t dest = 0;        // SECTION: where the loader puts the bytes, and how many
    uint32_t size = 0;
};

struct BootTable {
    uint32_t boot_address = 0;  // byte address of the table's next byte
    int boot_state = BOOT_IDLE;
    int boot_section_count = 0;
    std::vector<BootMark> marks;
    std::vector<uint8_t> field_buffer;  // a field with room for the data path's padding
    SectionSpec* end_spec = nullptr;    // while the end marker is placed: the section entry it goes with
};

// At translation start: the table begins at the settled boot origin.
void boot_table_start(Run& run);
// The record of a boot-loaded section (of the section table's entry section),
// and the table's header before the first one.
void boot_section_header(Run& run, int section, uint32_t address, uint32_t size);
void boot_table_end(Run& run);

// Places bytes at the table's address. The table moves on by the bytes placed,
// or by nbytes when by_length is set (a piece whose rest the boot buffer carries).
int place_table_bytes(Run& run, uint8_t* data, int nbytes, bool by_length);

}  // namespace khex
