// The K7734 boot table: a header, one record per boot-loaded section followed
// by its bytes, and an end marker, all in 16-bit fields placed into the ranges.
#pragma once
#include <cstdint>

namespace khex {

enum BootTableState {
    BOOT_IDLE = 0,       // no table in progress
    BOOT_FIELDS = 1,     // table fields being written
    BOOT_SECTION = 2,    // a boot section's data being written
};

struct BootTable {
    uint32_t boot_address;  // byte address of the table's next byte
    int boot_state;
    int boot_section_count;
};
extern BootTable boot_table;

void reset_boot_table();
void boot_table_start();
void boot_section_header(uint32_t address, uint32_t size);
void boot_table_end();

}  // namespace khex
