// Checksums and CRCs stored in the ROM image (-checksum): each request names
// a range, an algorithm, the slot that takes the value and the span it covers.
// The data path feeds every byte it places into the spans, in address order
// and before the output byte arrangement, and writes each value into its slot
// when placement reaches it, as the same path writes section data.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "base/diagnostics.h"
#include "base/options.h"
#include "memory/algorithms.h"
#include "memory/ranges.h"
#include "memory/specs.h"

namespace khex {

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
// resolved; every problem is an ERROR. Without addresses in the output files
// (Binary) a checksum needs image mode.
void resolve_checksums(ChecksumState& state, Diagnostics& d, const ConvOptions& options, const RangeState& ranges,
                       bool files_carry_addresses);

// The digits the map shows a value with: as many as the algorithm's width.
int value_digits(const Checksum& c);

}  // namespace khex
