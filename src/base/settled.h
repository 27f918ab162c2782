// What the run works out from the options and the COFF file: each value is
// filled in once, where the run learns it (as the ranges are resolved, at
// translation start, in the symbol pass), and is read-only from the first
// placed byte on.
#pragma once
#include <cstdint>
#include <vector>

#include "base/settings.h"

namespace khex {

struct Settled {
    bool zero = false;          // -zero, which needs -image
    int coff_device = 0;        // from the file header: 1, 2, 7734, or 0 for unknown
    int device = 7734;          // the target device the tables are built for
    int boot_alignment = 1;     // bytes the boot loader aligns sections to
    int order = ORDER_NONE;     // MS or LS from translation start on
    uint32_t bootorg = NOT_GIVEN;  // the boot table's address and page
    int32_t bootpage = 0;
    uint32_t entry_address = NOT_GIVEN;  // the -e value or symbol, or the file's entry point
    std::vector<BootEntry> boot_entries;  // with the -reg_config symbols' values
};

}  // namespace khex
