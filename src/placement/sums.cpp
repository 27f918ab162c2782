#include "placement/sums.h"

#include <algorithm>


namespace khex {

namespace {

unsigned long hex(uint64_t value)
{
    return static_cast<unsigned long>(value);
}

// The bytes of the fill pattern that holes count as: the fill value in the
// target's byte order, repeated every two bytes from the range's origin.
void feed_fill(bool big, Checksum& c, uint32_t first, uint64_t count)
{
    const RomRange& r = *c.range;
    const uint8_t f0 = static_cast<uint8_t>(big ? r.fill >> 8 : r.fill);
    const uint8_t f1 = static_cast<uint8_t>(big ? r.fill : r.fill >> 8);
    uint8_t block[256];
    const size_t parity = (first - r.origin) & 1;
    for (size_t i = 0; i < sizeof block; ++i)
        block[i] = ((i + parity) & 1) ? f1 : f0;
    while (count > 0) {
        size_t n = static_cast<size_t>(std::min<uint64_t>(count, sizeof block));
        engine_update(c.engine, block, n);
        count -= n;
    }
}

}  // namespace

Checksum* pending_slot(ChecksumState& checksums, const RomRange& r)
{
    for (Checksum& c : checksums.list)
        if (c.range == &r && !c.written)
            return &c;
    return nullptr;
}

bool has_checksums(const ChecksumState& checksums, const RomRange& r)
{
    for (const Checksum& c : checksums.list)
        if (c.range == &r)
            return true;
    return false;
}

void checksum_bytes(ChecksumState& checksums, const RomRange& r, uint32_t address, const uint8_t* data, size_t n)
{
    if (n == 0)
        return;
    const uint64_t last = uint64_t{address} + n - 1;
    for (Checksum& c : checksums.list) {
        if (c.range != &r || c.to < address || c.from > last)
            continue;
        const uint64_t first = std::max<uint64_t>(address, c.from);
        const uint64_t end = std::min<uint64_t>(last, c.to);
        engine_update(c.engine, data + (first - address), static_cast<size_t>(end - first + 1));
    }
}

void checksum_hole(ChecksumState& checksums, bool big_endian, const RomRange& r, uint32_t first, uint32_t last)
{
    for (Checksum& c : checksums.list) {
        if (c.range != &r || c.to < first || c.from > last)
            continue;
        const uint32_t from = std::max(first, c.from);
        const uint64_t count = uint64_t{std::min(last, c.to)} - from + 1;
        c.unwritten += count;
        if (c.holes != HOLES_SKIP)
            feed_fill(big_endian, c, from, count);
    }
}

void finish_checksum(Diagnostics& d, bool big_endian, Checksum& c, uint8_t* slot)
{
    c.value = engine_value(c.engine);
    c.written = true;
    if (c.unwritten != 0 && c.holes == HOLES_UNSAID)
        report(d, SEVERITY_WARNING,
               "checksum %s of range '%s' counts %llu unwritten bytes as the fill value 0x%04lx; give holes=fill or "
               "holes=skip",
               c.algorithm.name, c.range->name.c_str(), static_cast<unsigned long long>(c.unwritten),
               hex(c.range->fill));
    const bool big = c.order == VALUE_BIG || (c.order == VALUE_TARGET_ORDER && big_endian);
    for (uint32_t i = 0; i < c.size; ++i) {
        const uint32_t k = big ? c.size - 1 - i : i;  // the byte's place value, in bytes
        slot[i] = k < 4 ? static_cast<uint8_t>(c.value >> (8 * k)) : 0;
    }
}

}  // namespace khex
