// Where values go: their addresses (numbers, or symbols resolved after the
// symbol pass), slots and spans checked against their range, slots over
// section data, slots against one another, and the order of dependence
// between values whose spans cover other values' slots.
#pragma once
#include <string>

#include "memory/values.h"

namespace khex {

// An ERROR about one request, which it names as given: "checksum 'TEXT': ...".
[[gnu::format(printf, 3, 4)]] void refuse(Diagnostics& d, const Value& v, const char* format, ...);

// A number, or a symbol with an optional +N or -N after it.
bool parse_address(const std::string& text, AddressText& address);

// An address of a request: a number, or a symbol's place plus the offset,
// which must lie inside v's range.
bool resolve_value_address(Diagnostics& d, const Value& v, const SymbolSource* source, const AddressText& text,
                           uint32_t& address);

// Whether the request's addresses are all numbers (or not given).
bool numbers_only(const Value& v);

// Whether a value fits in the request's size= bytes.
bool value_fits(const Value& v, uint64_t value);

// Places a value: its addresses (symbols through source, which is nullptr
// while only numbers can be placed), its slot in whole memory words of the
// range, its span inside the range, its slot over a section's data, and
// whether a pre-pass computes it. False after an ERROR.
bool place_value(Diagnostics& d, Value& v, const SymbolSource* source);

// Orders the placed values by range and slot address and refuses slots that
// overlap; with the placed values only, or all.
void check_slots(ValueState& values, Diagnostics& d, bool placed_only);

}  // namespace khex
