// What one pass over the data works out for the values (checksums, fields
// and digests): the placement feeds every byte it places into the spans that
// cover it, in address order and as the target reads it, and takes each
// value for its slot, known ahead (from a pre-pass) or complete by then.
#pragma once
#include <cstddef>
#include <cstdint>

#include "base/diagnostics.h"
#include "memory/values.h"

namespace khex {

// The range's first slot that is not written yet, or nullptr.
Value* pending_slot(ValueState& values, const RomRange& r);
// Whether a value of the range still takes fill bytes into its span.
bool values_take_fill(const ValueState& values, const RomRange& r);

// Data placed in range r from address on (section data and its padding, the
// boot table): into the checksums' spans and the fields' data extents.
void values_data(ValueState& values, const RomRange& r, uint32_t address, const uint8_t* data, size_t n);
// Image fill: into the checksums' spans only; fill is not data.
void values_fill(ValueState& values, const RomRange& r, uint32_t address, const uint8_t* data, size_t n);
// Addresses first..last of range r that no data occupies; the fill value is
// taken in the target's byte order.
void values_hole(ValueState& values, bool big_endian, const RomRange& r, uint32_t first, uint32_t last);
// Bytes of slot's value as they are written (n of them from address on):
// into the checksums whose spans cover them, the slot's own left out, and
// when the slot replaces section data, into the fields' data extents. A
// value the pass does not know taints the checksums that cover it.
void values_slot(ValueState& values, const Value& slot, uint32_t address, const uint8_t* bytes, size_t n);

// The value of a slot about to be written, when it is known: ahead, or from
// its span, which is complete now; the warning about holes counted as fill
// comes here. False when this pass cannot know it.
bool take_value(Diagnostics& d, ValueState& values, Value& v);

// The warning about holes counted as fill, for a value whose span had some.
void warn_holes(Diagnostics& d, const Value& v);

// Before a pass: every value not known yet, and every digest, starts afresh.
void start_value_pass(ValueState& values);
// After a pre-pass: the values computed ahead that it worked out, copied into
// the run's own; false when it found none it did not know before.
bool keep_values_ahead(ValueState& values, const ValueState& pass);
// After the writing pass: each digest's value, the same as a pre-pass found.
void finish_digests(ValueState& values, Diagnostics& d);

}  // namespace khex
