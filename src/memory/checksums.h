// Checksums and CRCs stored in the ROM image (-checksum): each request names
// a range, an algorithm, the slot that takes the value and the span it covers.
// The data path feeds every byte it places into the spans, in address order
// and before the output byte arrangement, and writes each value into its slot
// when placement reaches it, as the same path writes section data.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "memory/algorithms.h"
#include "memory/specs.h"

namespace khex {

struct Run;
struct RomRange;

enum HolePolicy {
    HOLES_UNSAID,  // counted as fill, with a warning
    HOLES_FILL,
    HOLES_SKIP,
};

enum ValueOrder { VALUE_TARGET_ORDER, VALUE_BIG, VALUE_LITTLE };

struct Checksum {
    std::string text;              // the option's value, as messages show it
    const RomRange* range = nullptr;
    ChecksumAlgorithm algorithm{};
    uint32_t at = 0;               // the slot's first byte address
    uint32_t size = 0;             // the slot's bytes: the value's, in whole memory words
    uint32_t from = 0, to = 0;     // the span's first and last byte addresses
    int order = VALUE_TARGET_ORDER;
    int holes = HOLES_UNSAID;
    SectionSpec label;             // stands for the slot where writers name what they write
    ChecksumEngine engine;
    uint64_t unwritten = 0;        // span bytes that no data occupied
    bool written = false;
    uint32_t value = 0;            // once written
};

struct ChecksumState {
    std::vector<Checksum> list;    // by range, then slot address, once resolved
};

// Reads, checks and orders the -checksum requests once the ranges are
// resolved; every problem is an ERROR.
void resolve_checksums(Run& run);

// The range's first slot that is not written yet, or nullptr.
Checksum* pending_slot(Run& run, const RomRange& r);
bool has_checksums(const Run& run, const RomRange& r);

// Bytes placed in range r from address on, as the target reads them.
void checksum_bytes(Run& run, const RomRange& r, uint32_t address, const uint8_t* data, size_t n);
// Addresses first..last of range r that no data occupies.
void checksum_hole(Run& run, const RomRange& r, uint32_t first, uint32_t last);

// The value of a checksum whose span is complete, as the slot's bytes in the
// order the target reads them; the warning about holes counted as fill.
void finish_checksum(Run& run, Checksum& c, uint8_t* slot);

// The digits the map shows a value with: as many as the algorithm's width.
int value_digits(const Checksum& c);

}  // namespace khex
