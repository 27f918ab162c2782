// The K7734 boot table: a header, one record per boot-loaded section followed
// by its bytes, and an end marker, all in 16-bit fields placed into the ranges
// through the placement, and the boot buffer that pads the sections' bytes.
#pragma once
#include <cstdint>
#include <vector>

#include "base/diagnostics.h"
#include "base/function_ref.h"
#include "base/settings.h"
#include "base/settled.h"
#include "coff/loader.h"
#include "memory/ranges.h"
#include "memory/specs.h"

namespace khex {

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

// The boot buffer: pads a boot-loaded section's bytes as the boot loader
// needs and carries bytes that do not fit a piece into the next one.
struct BootBuffer {
    std::vector<uint8_t> storage;   // capacity bytes and room for memory-word padding
    size_t capacity = 0;            // 0 until the first boot-loaded piece
    size_t length = 0;              // boot_buffer_length
    std::vector<uint8_t> overflow;  // bytes carried into the next piece
    size_t overflow_length = 0;     // boot_overflow_length
};

// Places bytes of a section entry at an address through the placement;
// returns the bytes handed to the writers.
using PlaceBytes = FunctionRef<int(SectionSpec* owner, uint8_t* data, int nbytes, uint32_t address)>;
// Whether a section entry has received data in some range.
using ReceivedData = FunctionRef<bool(const SectionSpec& spec)>;

// What the boot table works with: its own records, what it reads, and the
// placement's cursor and its way of placing bytes.
struct BootContext {
    BootTable& table;
    BootBuffer& buffer;
    Diagnostics& diagnostics;
    const ConvOptions& options;
    const Settled& settled;
    const CoffState& coff;
    const RangeState& ranges;
    const SpecState& specs;
    const Cursor& cursor;
    PlaceBytes place;
    ReceivedData received_data;
};

// At translation start: the table begins at the settled boot origin.
void boot_table_start(BootTable& table, const Settled& settled);
// The record of a boot-loaded section (of the section table's entry section),
// and the table's header before the first one.
void boot_section_header(BootContext& boot, int section, uint32_t address, uint32_t size);
void boot_table_end(BootContext& boot);

// Places bytes at the table's address. The table moves on by the bytes placed,
// or by nbytes when by_length is set (a piece whose rest the boot buffer carries).
int place_table_bytes(BootContext& boot, uint8_t* data, int nbytes, bool by_length);

// A piece of a boot-loaded section (or a record of a boot-loaded RAM-model
// .cinit), padded and placed behind its record; data nullptr: only the
// section's overflow padding.
int boot_buffer_add(BootContext& boot, const SectionHeader& section, const uint8_t* data, uint32_t address,
                    int nbytes);

}  // namespace khex
