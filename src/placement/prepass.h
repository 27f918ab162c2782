// The pre-pass: values whose slots come before the end of their spans (a
// header CRC, a length field) are worked out by the same placement over the
// same data with nothing written, before the writing pass. It prints and
// reports nothing and leaves every record of the run as it found it but the
// values it works out.
#pragma once
#include <vector>

#include "coff/loader.h"
#include "placement/placer.h"

namespace khex {

// Runs pre-passes over the sections in the given order until every value
// that needs one is known (a checksum over another's slot needs that value
// first). The writing placer gives the records to read; coff the COFF
// file's state, copied for each pass. A pre-pass that meets a fatal error
// gives up: the writing pass meets it too.
void compute_values_ahead(const Placer& writing, const CoffState& coff, const std::vector<int>& order);

// Inserted data and the boot table are placed together only by a pass: one
// pre-pass finds inserted data where the boot table lies, or the table over
// it, each an ERROR; false when there was one.
bool check_insert_clashes(const Placer& writing, const CoffState& coff, const std::vector<int>& order);

// After the pre-passes: a field whose span holds no data, or whose value
// does not fit its size, is an ERROR; false when there was one.
bool check_field_values(const ValueState& values, Diagnostics& d);

}  // namespace khex
