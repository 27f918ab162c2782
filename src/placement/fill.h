// What placement writes besides section data: bytes arranged for the files,
// the range's fill pattern, image-mode fill and the holes of value spans.
#pragma once
#include <cstdint>

#include "placement/placer.h"

namespace khex {

// The section entry whose data place_data places, for as long as it does: byte
// arrangement, fill patterns and the writers' warnings go by it.
class Placing {
public:
    Placing(Cursor& cursor, SectionSpec* spec) : cursor_(cursor), saved_(cursor.current_spec)
    {
        cursor.current_spec = spec;
    }
    ~Placing() { cursor_.current_spec = saved_; }
    Placing(const Placing&) = delete;
    Placing& operator=(const Placing&) = delete;

private:
    Cursor& cursor_;
    SectionSpec* saved_;
};

// Bytes in the order the files take them: data-width groups in the target's
// byte order as -order asks, then each memory word's ROM-width lanes.
void arrange_bytes(const Placer& p, const RomRange& r, uint8_t* data, int nbytes);

// The range's fill pattern, in state.pattern (arranged) and
// state.pattern_view (as the target reads it).
void build_pattern(Placer& p, const RomRange& r);

// next_address moved past the top of the 32-bit address space.
inline bool wrapped(uint32_t before, uint32_t after)
{
    return after <= before;
}

// Whose bytes go to the writers: the current section entry's (or the boot
// table's), the fill, or a value's slot; in a verify run with the map of the
// byte arrangement, to name the target address of each byte.
ByteOwner data_owner(Placer& p, const RomRange& r);
// The same for n bytes of the section entry at the cursor; in a verify run,
// with the slot whose value replaces some of them.
ByteOwner section_owner(Placer& p, const RomRange& r, const SectionSpec& spec, int n);
ByteOwner fill_owner(Placer& p, const RomRange& r);
ByteOwner slot_owner(Placer& p, const RomRange& r, const Value& v);

// Hands bytes at the cursor to the writers and moves the cursor past them.
void write_at_cursor(Placer& p, const RomRange& r, const uint8_t* data, int nbytes, const ByteOwner& owner,
                     int period = 0);

// Moves the cursor to the address after last, past addresses no data
// occupies: filled in image mode, holes in the checksums' spans otherwise.
// Returns whether it wrapped past the top of the address space.
bool pass_to(Placer& p, const RomRange& r, uint32_t last);

}  // namespace khex
