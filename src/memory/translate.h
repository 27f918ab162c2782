// What the run works out from the options and the COFF file: each value is
// filled in once, where the run learns it (as the ranges are resolved, at
// translation start, in the symbol pass), and is read-only from the first
// placed byte on.
#pragma once
#include <cstdint>
#include <vector>

#include "base/settled.h"

namespace khex {

struct Run;


// After the ranges are resolved: -zero counts only in image mode.
void settle_zero_based(Run& run);

// Once the headers are read: the device, the format's widths, the boot
// table's parameters, the sections and their order, the byte order; then the
// progress line and the first range for placement.
void start_translation(Run& run);

// After the symbol pass: the entry point and the -reg_config symbol values.
void settle_entry_point(Run& run);
void settle_boot_entries(Run& run);

}  // namespace khex
