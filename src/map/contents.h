// What a range holds, in address order as the map lists it: sections, the
// boot table with its sections, and in image mode the filled areas. Worked
// out once, when the range is closed, for the map file and its picture.
#pragma once
#include <cstdint>
#include <vector>

namespace khex {

struct Value;
struct ReportFacts;
struct RomRange;
struct SectionSpec;

struct ContentEntry {
    enum Kind { FILL, SECTION, BOOT_TABLE, BOOT_SECTION, VALUE };
    Kind kind;
    uint32_t start;            // FILL, SECTION, BOOT_TABLE, VALUE: first and last address;
    uint32_t end;              // the boot table from bootorg as far as its address had come
    const SectionSpec* spec;   // SECTION, BOOT_SECTION
    bool incomplete;           // SECTION; BOOT_TABLE when one of its sections is
    bool continued;            // BOOT_SECTION listed in an earlier range already
    const Value* value = nullptr;  // VALUE: the slot's checksum or field
    uint32_t first = 0;        // BOOT_TABLE: the first and last byte it placed in the range
    uint32_t last = 0;         // (first > last: none)
};

// Empty when no section placed data in the range. listed (by section entry index)
// holds the section entries that earlier ranges listed, and gains the ones this one
// lists.
std::vector<ContentEntry> range_contents(const ReportFacts& facts, const RomRange& r, std::vector<bool>& listed);

// Whether a boot-loaded section lost bytes: of those in range r, or of all
// when r is nullptr.
bool boot_table_incomplete(const ReportFacts& facts, const RomRange* r);

}  // namespace khex
