// Values stored in the ROM image: checksums and CRCs (-checksum) and fields
// (-field: the length, first or last address of the data in a span, or a
// constant). Each request names a range, the slot that takes the value and
// the span it covers; addresses are numbers or symbols of the COFF file. The
// placement feeds every byte it places into the spans, in address order and
// before the output byte arrangement, and writes each value into its slot as
// the same path writes section data.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "base/diagnostics.h"
#include "base/settings.h"
#include "coff/loader.h"
#include "coff/sym.h"
#include "memory/algorithms.h"
#include "memory/ranges.h"
#include "memory/specs.h"

namespace khex {

enum ValueKind {
    VALUE_CHECKSUM,  // a CRC or sum of the span's bytes
    VALUE_LENGTH,    // bytes from the lowest to the highest data byte of the span
    VALUE_FIRST,     // the target byte address of the lowest data byte of the span
    VALUE_LAST,      // and of the highest
    VALUE_CONSTANT,  // value=N
};

enum HolePolicy {
    HOLES_UNSAID,  // counted as fill, with a warning
    HOLES_FILL,
    HOLES_SKIP,
};

enum ValueOrder { VALUE_TARGET_ORDER, VALUE_BIG, VALUE_LITTLE };

// An address as a request writes it: a number, or a symbol and an offset.
struct AddressText {
    bool given = false;
    std::string symbol;   // empty: a number
    int64_t number = 0;   // the number, or the offset added to the symbol's address
};

struct Value {
    std::string option;            // "checksum" or "field": how messages name the request
    std::string text;              // the option's value, as messages show it
    int kind = VALUE_CHECKSUM;
    const RomRange* range = nullptr;
    ChecksumAlgorithm algorithm{}; // checksums
    int holes = HOLES_UNSAID;
    uint32_t constant = 0;         // value= fields
    uint32_t width = 0;            // bytes of the value itself: the algorithm's, or size=
    AddressText at_text, from_text, to_text;
    uint32_t at = 0;               // the slot's first byte address
    uint32_t size = 0;             // the slot's bytes: the value's, in whole memory words
    uint32_t from = 0, to = 0;     // the span's first and last byte addresses; the slot is left out
    bool placed = false;           // slot and span are known and checked
    int order = VALUE_TARGET_ORDER;
    const SectionSpec* placeholder = nullptr;  // the section whose bytes the slot replaces
    bool ahead = false;            // a pre-pass computes it before its slot is written
    SectionSpec label;             // stands for the slot where writers name what they write

    // what one pass over the data works out
    ChecksumEngine engine;
    uint64_t unwritten = 0;        // span bytes that no data occupied
    bool tainted = false;          // the span held a slot whose value the pass did not know
    bool has_data = false;         // fields: the lowest and highest data byte of the span
    uint32_t lowest = 0, highest = 0;
    bool known = false;            // bytes hold the value
    bool written = false;          // the slot is written
    uint8_t bytes[MAX_VALUE_BYTES] = {};  // the value's width bytes: a number's most significant first
    uint64_t number = 0;           // fields: the integer, before it is encoded into bytes
};

struct ValueState {
    std::vector<Value> list;       // by range, then slot address, once resolved
    bool ahead_abandoned = false;  // a pre-pass met a fatal error: the writing pass will stop at it too
};

// Reads the -checksum and -field requests once the ranges are resolved; every
// problem is an ERROR. Requests whose addresses are numbers are placed and
// checked at once, the others once the symbols are read. Without addresses
// in the output files (Binary) a value needs image mode.
void read_value_requests(ValueState& values, Diagnostics& d, const ConvOptions& options, const RangeState& ranges,
                         bool files_carry_addresses);

// What the symbols of addresses are resolved against.
struct SymbolSource {
    const SymbolTable& symbols;
    const CoffState& coff;
    const SpecState& specs;
    const std::string& coff_name;
};

// After the symbol pass: every value placed, its slot over section data
// found, the slots checked against one another, and the values whose spans
// cover one another's slots in a loop refused. Returns false when it
// reported an ERROR: the values cannot be written.
bool resolve_values(ValueState& values, Diagnostics& d, const SymbolSource& source);

// The values a pre-pass must compute before the writing pass.
bool values_ahead(const ValueState& values);

// A number as the value's bytes, and the value as a number (of its last 8
// bytes at most).
void set_value_number(Value& v, uint64_t number);
uint64_t value_number(const Value& v);
// The value of the engine's bytes so far.
void take_engine_value(Value& v, const ChecksumEngine& engine);
// Whether the value is a string of bytes (a digest), not a number.
bool value_is_string(const Value& v);

// The value's bytes in its slot, in the order the target reads them: a
// number in the target's byte order (or endian='s), zero-extended to the
// slot; a string from the slot's first byte on.
void value_bytes(const Value& v, bool target_big_endian, uint8_t* slot);

// The value as the reports show it: two lower-case hex digits per byte.
std::string value_hex(const Value& v);
// What the reports call a value: its algorithm, or its field's kind.
const char* value_name(const Value& v);

}  // namespace khex
