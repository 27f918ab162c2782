// Values stored in the ROM image: checksums, CRCs and digests (-checksum),
// fields (-field: the length, first or last address of the data in a span,
// or a constant), signatures made elsewhere (-signature) and a unit's own
// data (-stamp); and digests
// written to files for a signer (-digest), which have a span but no slot.
// Each request names a range, the slot that takes the value and the span it
// covers; addresses are numbers or symbols of the COFF file. The placement
// feeds every byte it places into the spans, in address order and before the
// output byte arrangement, and writes each value into its slot as the same
// path writes section data.
#pragma once
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "base/diagnostics.h"
#include "base/settings.h"
#include "coff/loader.h"
#include "coff/sym.h"
#include "hexfile/lot.h"
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
    VALUE_DIGEST,    // -digest: a digest of the span written to a file; no slot
    VALUE_SIGNATURE, // -signature: a signature's bytes, or fill until there is one
    VALUE_STAMP,     // -stamp: a unit's own data (a number, a MAC address, bytes, text)
};

enum StampKind { STAMP_NUMBER, STAMP_MAC, STAMP_BYTES, STAMP_TEXT };

enum DigestEncoding { DIGEST_RAW, DIGEST_HEX };

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
    std::string option;            // "checksum", "field", "digest" or "signature": how messages name the request
    std::string text;              // the option's value, as messages show it
    int kind = VALUE_CHECKSUM;
    const RomRange* range = nullptr;
    ChecksumAlgorithm algorithm{}; // checksums
    int holes = HOLES_UNSAID;
    uint32_t constant = 0;         // value= fields
    uint32_t width = 0;            // bytes of the value itself: the algorithm's, or size=
    AddressText at_text, from_text, to_text;
    uint32_t at = 0;               // the slot's first byte address; a digest's: the signature slot it leaves out
    uint32_t size = 0;             // the slot's bytes: the value's, in whole memory words; a digest's: 0 or that slot's
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
    std::vector<uint8_t> bytes;    // the value: a number's width bytes, most significant first; a digest's in
                                   // the order it is output; a signature's for the whole slot
    uint64_t number = 0;           // fields: the integer, before it is encoded into bytes

    // digests
    std::string out_name;          // out=: the digest's file; empty for the one a signature's check needs
    std::string message_name;      // message=: the file of the bytes hashed, or empty
    int encoding = DIGEST_RAW;
    FILE* message = nullptr;       // open during the writing pass
    int message_error = 0;         // errno of a failed write to it
    // signatures
    std::string signature_name;    // file=, or empty: the slot holds fill
    int signature_format = 0;
    std::vector<uint8_t> signature;  // the signature the file holds
    std::string signed_name;       // digest=: the digest the signer signed, or empty
    std::vector<uint8_t> signed_digest;
    int checked_by = -1;           // the digest (of ValueState::digests) that checks it
    // stamps
    int stamp_kind = STAMP_NUMBER;
    std::string stamp_text;        // value= or text= as given
    std::vector<uint8_t> octets;   // a MAC address's, a key's bytes, or the text's characters
    int chars = 0;                 // characters a 16-bit memory word holds: 1 or 2; 0: one a byte
    std::string stamp_column;      // column=: the lot's column that gives each unit's value
    uint64_t stamp_step = 0;       // step=: what value= grows by from one unit to the next
    bool stamp_shared = false;     // shared: units may have one value
    std::string stamp_unit;        // where a unit's value comes from, for messages ("lot.csv:7, unit A")
    bool per_unit = false;         // a stamp, or a value whose span covers a per-unit slot
    bool blank = false;            // its slot holds fill: the common image of a lot's deltas
};

// The unit a run stamps: its place in the run's units (0 for the first) and,
// in a lot, its row of the lot file.
struct StampUnit {
    uint64_t index = 0;
    const Lot* lot = nullptr;
    const LotUnit* row = nullptr;
};

struct SpanHasher;  // memory/span_hasher.cpp: the writing pass's engines on a thread

struct ValueState {
    std::vector<Value> list;       // values with slots: by range, then slot address, once resolved
    std::vector<Value> digests;    // -digest requests, and those signatures' checks need
    std::vector<std::string> files_written;  // the digests' files, once written
    std::shared_ptr<SpanHasher> hasher;      // during the writing pass, when a value takes bytes
    bool ahead_abandoned = false;  // a pre-pass met a fatal error: the writing pass will stop at it too
    bool blank_per_unit = false;   // per-unit slots hold fill (a lot's common image)
};

// Whether the run asked for any value or digest.
bool values_requested(const ValueState& values);
// The files the digests write (out= and message=), and those the signatures
// read (file= and digest=).
std::vector<std::string> digest_file_names(const ValueState& values);
std::vector<std::string> signature_file_names(const ValueState& values);

// Reads the -checksum, -field, -digest and -signature requests (and the
// signatures' files) once the ranges are resolved; every problem is an ERROR. Requests whose addresses are numbers are placed and
// checked at once, the others once the symbols are read. Without addresses
// in the output files (Binary) a value needs image mode.
void read_value_requests(ValueState& values, Diagnostics& d, const ConvOptions& options, const RangeState& ranges,
                         bool files_carry_addresses, const StampUnit& unit);
// What a stamp stores for its unit, as a key that two units share exactly
// when their stamps hold the same data.
std::string stamp_key(const Value& v);

// What the symbols of addresses are resolved against.
struct SymbolSource {
    const SymbolTable& symbols;
    const CoffState& coff;
    const SpecState& specs;
    const std::string& coff_name;
};

// After the symbol pass: every value placed, its slot over section data
// found, the slots checked against one another, and the values whose spans
// cover one another's slots in a loop refused; each digest leaves out its
// range's signature slot, a signature's check gets its digest, and a value
// that changes with the signature may not lie in what is signed. Returns false when it
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
// Whether the value is a string of bytes (a digest, a signature), not a
// number.
bool value_is_string(const Value& v);
// Whether the value is worked out from its span's bytes by an engine.
bool value_hashes_span(const Value& v);

// A stamp's bytes for the target's byte order: a number as the target (or
// endian=) stores it, a MAC address's or key's bytes as written, text one
// character a byte or in 16-bit words (chars=).
void encode_stamp(Value& v, bool big_endian);

// After the pre-passes: a signature whose digest= differs from the digest
// of the image is an ERROR; false when there was one.
bool check_signed_digests(const ValueState& values, Diagnostics& d);

// The value's bytes in its slot, in the order the target reads them: a
// number in the target's byte order (or endian='s), zero-extended to the
// slot; a string from the slot's first byte on.
void value_bytes(const Value& v, bool target_big_endian, uint8_t* slot);

// The value as the reports show it: two lower-case hex digits per byte.
std::string value_hex(const Value& v);
// What the reports call a value: its algorithm, or its field's kind.
const char* value_name(const Value& v);

}  // namespace khex
