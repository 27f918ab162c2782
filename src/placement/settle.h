// What the run works out from the options and the COFF file before the first
// byte is placed: each step fills its part of the settled record once, in
// the order the outline calls them.
#pragma once
#include "base/diagnostics.h"
#include "base/settings.h"
#include "base/settled.h"
#include "coff/loader.h"
#include "coff/sym.h"
#include "memory/ranges.h"
#include "memory/specs.h"
#include "output/formats.h"

namespace khex {

// After the ranges are resolved: -zero counts only in image mode.
void settle_zero_based(Settled& settled, const ConvOptions& options, Diagnostics& d);

// From the file header's device code (a WARNING when it is unknown), with the
// options' device, boot alignment and boot table place as the starting point.
void settle_device_code(Settled& settled, const ConvOptions& options, const CoffState& coff, Diagnostics& d);
// The format's own rules on widths (ZQ-Tagged, Binary); FATAL when broken.
void check_format_widths(const ConvOptions& options, const OutputFormat& format, Diagnostics& d);
// What the device means for the boot loader; FATAL for a device it cannot serve.
void settle_device(Settled& settled, const ConvOptions& options, Diagnostics& d);
// The boot table goes to the first range when -bootorg does not say where.
void settle_boot_origin(Settled& settled, const RangeState& ranges);
// Every boot-table field is one 16-bit value: memory on the table's page may
// be at most 16 bits wide; FATAL otherwise.
void check_boot_widths(const Settled& settled, const RangeState& ranges, const SpecState& specs, Diagnostics& d);
// -order, or the target's own byte order.
void settle_byte_order(Settled& settled, const ConvOptions& options, const CoffState& coff);

// After the symbol pass: the entry point and the -reg_config symbol values.
void settle_entry_point(Settled& settled, const ConvOptions& options, const SymbolTable& symbols,
                        const CoffState& coff, Diagnostics& d);
void settle_boot_entries(Settled& settled, const ConvOptions& options, const SymbolTable& symbols, Diagnostics& d);

}  // namespace khex
