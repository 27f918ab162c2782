// Placement: every piece of section data goes into the ROM ranges (or the
// boot table) in one forward pass, without a memory image; image fill,
// value slots and the byte arrangement come on the way.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "base/diagnostics.h"
#include "base/function_ref.h"
#include "base/settings.h"
#include "base/settled.h"
#include "boot/table.h"
#include "coff/loader.h"
#include "memory/ranges.h"
#include "memory/inserts.h"
#include "memory/specs.h"
#include "memory/values.h"
#include "output/framework.h"

namespace khex {

// Where a section entry's data went.
struct Placement {
    const RomRange* range = nullptr;  // range that last received data
    uint32_t start_address = 0;       // first address in that range
    uint32_t end_address = 0;         // last address written
    bool incomplete = false;          // some data could not be placed
    std::string unplaced;             // why, as the JSON report says it
};

// Inserted data that a pre-pass found where other data lies (the boot
// table, a section) or other data over it.
struct InsertClash {
    const SectionSpec* insert;
    std::string other;   // "the boot table", "section '.text'"
    uint32_t address;
};

// The boot table's bytes in one range, as placed: they run from first to
// last without a gap, fields, section bytes, pads and end marker alike.
struct BootExtent {
    bool placed = false;
    uint32_t first = 0;
    uint32_t last = 0;
};

struct PlacementState {
    Cursor cursor;
    std::vector<Placement> placements;        // by section entry index
    std::vector<BootExtent> boot_extents;     // by range index
    std::vector<SectionSpec*> spec_by_section;
    bool cinit_announced = false;
    bool has_bss = false;                     // .bss: the base of RAM-model .cinit records
    uint32_t bss_vaddr = 0;
    std::vector<uint8_t> pattern;             // fill pattern of the current range, arranged
    std::vector<uint8_t> pattern_view;        // the same as the target reads it
    std::vector<uint8_t> fill_block;          // repeated fill words for image mode
    std::vector<uint8_t> fill_view;           // the same as the target reads them
    std::vector<uint8_t> slot_bytes;          // a slot's value as the target reads it
    std::vector<uint8_t> record_copy;         // autoinitialisation data with room to pad
    std::vector<uint8_t> insert_buffer;       // inserted data with room to pad
    std::vector<uint8_t> source_map;          // a verify run: where the arrangement took each byte from
    std::vector<InsertClash> clashes;         // a pre-pass's, for the errors before the writing pass
};

// The outline's sinks: the announcement of a section's first data, and a
// range that placement has left, whose files are closed.
using AnnounceSink = FunctionRef<void(const SectionSpec& spec)>;
using RangeClosedSink = FunctionRef<void(const RomRange& range)>;

// What placement works with: its own record, the records it reads, those of
// the modules it drives (values, boot table, output), and the sinks. A
// pre-pass places the same data with writing off: no file is touched.
struct Placer {
    PlacementState& state;
    Diagnostics& diagnostics;
    const ConvOptions& options;
    const Settled& settled;
    const CoffState& coff;
    const RangeState& ranges;
    const SpecState& specs;
    ValueState& values;
    InsertState& inserts;
    BootTable& boot_table;
    BootBuffer& boot_buffer;
    OutputState& output;
    AnnounceSink announce;
    RangeClosedSink range_closed;
    bool writing = true;
};

// Makes the first range current, once the sections are selected.
void start_placement(Placer& p);

// The loader's piece sink: every piece of section data.
void write_target_memory(Placer& p, int section, uint8_t* data, int nbytes, uint32_t address);

// The loader's other steps: step -1 - k places block k of the inserted files.
void place_insert_step(Placer& p, int step);

// Puts nbytes bytes of a section entry, the first at address, into the ranges,
// on the entry's page. The buffer must have room for memwidth - 1 pad
// bytes after the data. Returns the bytes handed to the writers, pad bytes
// included.
int place_data(Placer& p, SectionSpec* spec, uint8_t* data, int nbytes, uint32_t address);

// Ends a boot table in progress with its end marker.
void end_boot_table(Placer& p);

// Closes the ranges that remain, filling them in image mode.
void finish_conversion(Placer& p);

const Placement& placement_of(const PlacementState& state, const SectionSpec& spec);

// The boot table's bytes in range r; nullptr when it placed none there.
const BootExtent* boot_extent_in(const PlacementState& state, const RomRange& r);

}  // namespace khex
