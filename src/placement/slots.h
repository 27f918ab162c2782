// Slots: where a value goes into the image. A slot in memory no data
// occupies is written when the cursor reaches it; a slot over the bytes of
// the section that reserved it replaces them as they pass; any other data
// in a slot is FATAL.
#pragma once
#include <cstdint>

#include "placement/placer.h"

namespace khex {

// Data of section entry spec about to be written at the cursor (n bytes, as
// the target reads them): into the values' spans, with the value of a slot
// the section reserved in place of its bytes.
void values_of_data(Placer& p, const RomRange& r, const SectionSpec& spec, uint8_t* data, int n);

// A slot at the cursor, through the byte arrangement, the lanes and the
// writers like section data.
void write_slot(Placer& p, const RomRange& r, Value& v);

// Data would land in the slot: FATAL.
[[noreturn]] void slot_taken(Placer& p, const Value& v);

}  // namespace khex
