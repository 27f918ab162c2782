// The running sums of the checksums: the placement feeds every byte it
// places into the spans, in address order and before the output byte
// arrangement, and takes each value for its slot once its span is complete.
#pragma once
#include <cstddef>
#include <cstdint>

#include "base/diagnostics.h"
#include "memory/values.h"

namespace khex {

// The range's first slot that is not written yet, or nullptr.
Checksum* pending_slot(ChecksumState& checksums, const RomRange& r);
bool has_checksums(const ChecksumState& checksums, const RomRange& r);

// Bytes placed in range r from address on, as the target reads them.
void checksum_bytes(ChecksumState& checksums, const RomRange& r, uint32_t address, const uint8_t* data, size_t n);
// Addresses first..last of range r that no data occupies; the fill value is
// taken in the target's byte order.
void checksum_hole(ChecksumState& checksums, bool big_endian, const RomRange& r, uint32_t first, uint32_t last);

// The value of a checksum whose span is complete, as the slot's bytes in the
// order the target reads them; the warning about holes counted as fill.
void finish_checksum(Diagnostics& d, bool big_endian, Checksum& c, uint8_t* slot);

}  // namespace khex
