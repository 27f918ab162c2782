// The K7734 boot table: a header, one record per boot-loaded section followed
// by its bytes, and an end marker, all in 16-bit fields placed into the ranges.
#pragma once
#include <cstdint>
#include <vector>

namespace khex {

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
};

struct BootTable {
    uint32_t boot_address;  // byte address of the table's next byte
    int boot_state;
    int boot_section_count;
    std::vector<BootMark> marks;
};
extern BootTable boot_table;

void reset_boot_table();
void boot_table_start();
void boot_section_header(uint32_t address, uint32_t size);
void boot_table_end();

}  // namespace khex
