// Other images in the ROM (-insert): a boot loader, a calibration table, a
// bitstream built elsewhere, read from a hex or binary file. Its bytes join
// the target's memory as data of a range, before the byte arrangement and
// the lane split, each run of them in the place of the conversion order a
// section at its address would take.
#pragma once
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "base/diagnostics.h"
#include "base/settings.h"
#include "hexfile/reader.h"
#include "memory/ranges.h"
#include "memory/specs.h"
#include "memory/values.h"

namespace khex {

// Bytes of one extent of the file, at their target addresses.
struct InsertPiece {
    uint32_t address;
    uint32_t length;
    size_t extent;   // index into the file's extents
    uint32_t skip;   // bytes of the extent before the piece
};

// A run of inserted bytes at consecutive addresses: what the map lists and
// the placement places as one.
struct InsertBlock {
    uint32_t address;
    uint32_t length;
    std::vector<InsertPiece> pieces;  // in address order
    SectionSpec* spec = nullptr;      // its section entry, once in the conversion order
};

struct Insert {
    std::string text;                 // the option's value, as messages show it
    const RomRange* range = nullptr;
    HexFile file;
    AddressText at_text, from_text, to_text;
    int64_t offset = 0;
    bool placed = false;              // blocks worked out and checked
    std::vector<InsertBlock> blocks;  // in address order
};

struct InsertState {
    std::deque<Insert> list;          // in the order given
    std::deque<SectionSpec> specs;    // the blocks' section entries
};

// Reads the -insert requests once the ranges are resolved, opens and reads
// each file, and places those whose addresses are numbers; every problem is
// an ERROR (a reader's names file:line), an insert that keeps no byte a
// WARNING.
void read_insert_requests(InsertState& inserts, Diagnostics& d, const ConvOptions& options,
                          const RangeState& ranges);

// After the symbol pass: the inserts whose addresses are symbols placed, and
// every block checked against the sections, the other inserts and the value
// slots. False when it reported an ERROR.
bool resolve_inserts(InsertState& inserts, Diagnostics& d, const SymbolSource& source, const ValueState& values);

// Gives each block a section entry of its own and a step in the conversion
// order where a section at its address would be; a step of -1 - k stands for
// block k, counting the blocks of every insert in order.
void order_inserts(InsertState& inserts, SpecState& specs, const ConvOptions& options);

// Block k of the conversion order's steps.
InsertBlock& insert_block(InsertState& inserts, int k, Insert*& insert);

// Closes the inserted files.
void close_inserts(InsertState& inserts);

}  // namespace khex
