// Data that cannot be placed: a section (or the boot table) over another
// section, or in memory no range describes. Placement skips the bytes and
// says so once per section entry.
#pragma once
#include <cstdint>

#include "placement/placer.h"

namespace khex {

// The warning for data of section entry s at address that cannot be placed,
// and why, for the JSON report; once per section entry.
void report_unplaced(Placer& p, SectionSpec& s, uint32_t address);

}  // namespace khex
