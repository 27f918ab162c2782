#include "placement/fill.h"

#include <algorithm>
#include <cstring>

#include "memory/lanes.h"
#include "placement/value_pass.h"

namespace khex {

namespace {

constexpr int FILL_BLOCK = 4096;

// A ROM wider than a memory word: each word is one data operation.
bool write_fill_words(Placer& p, const RomRange& r, uint32_t last)
{
    PlacementState& dp = p.state;
    for (uint32_t word = 0; dp.cursor.next_address <= last; ++word) {
        uint32_t before = dp.cursor.next_address;
        uint32_t o = r.memwidth == 1 ? word % 2 : 0;
        values_fill(p.values, r, dp.cursor.next_address, dp.pattern_view.data() + o, static_cast<size_t>(r.memwidth));
        write_at_cursor(p, r, dp.pattern.data() + o, r.memwidth, fill_owner(p, r));
        if (wrapped(before, dp.cursor.next_address))
            return true;
    }
    return false;
}

// Image mode: fill words from next_address up to last (whole words, so the end
// may pass last a little). One-byte words take the two fill bytes in turn,
// starting with the first at every call; wider words are the pattern's first
// memwidth bytes. Several words go to the writers at once when each word splits
// into lanes anyway. Returns whether the fill wrapped past the top of the
// address space.
bool write_fill(Placer& p, const RomRange& r, uint32_t last)
{
    PlacementState& dp = p.state;
    build_pattern(p, r);
    if (r.romwidth > r.memwidth)
        return write_fill_words(p, r, last);
    const uint32_t memwidth = static_cast<uint32_t>(r.memwidth);
    const uint32_t block_words = std::max<uint32_t>(1, FILL_BLOCK / memwidth);
    const bool summed = values_take_fill(p.values, r);
    const ByteOwner owner = fill_owner(p, r);
    dp.fill_block.resize(block_words * memwidth);
    dp.fill_view.resize(block_words * memwidth);
    for (uint32_t w = 0; w < block_words; ++w) {
        uint32_t o = memwidth == 1 ? w % 2 : 0;
        std::memcpy(dp.fill_block.data() + w * memwidth, dp.pattern.data() + o, memwidth);
        std::memcpy(dp.fill_view.data() + w * memwidth, dp.pattern_view.data() + o, memwidth);
    }
    while (dp.cursor.next_address <= last) {
        uint64_t remaining = uint64_t{last} - dp.cursor.next_address + 1;
        uint64_t to_wrap = (uint64_t{1} << 32) - dp.cursor.next_address;
        uint64_t words = (std::min(remaining, to_wrap) + memwidth - 1) / memwidth;
        uint32_t now = static_cast<uint32_t>(std::min<uint64_t>(words, block_words));
        uint32_t before = dp.cursor.next_address;
        if (summed)
            values_fill(p.values, r, dp.cursor.next_address, dp.fill_view.data(), now * memwidth);
        // one-byte words alternate the two fill bytes; wider words repeat
        write_at_cursor(p, r, dp.fill_block.data(), static_cast<int>(now * memwidth), owner, memwidth == 1 ? 2 : 1);
        if (wrapped(before, dp.cursor.next_address))
            return true;
    }
    return false;
}

}  // namespace

void arrange_bytes(const Placer& p, const RomRange& r, uint8_t* data, int nbytes)
{
    const SectionSpec* spec = p.state.cursor.current_spec;
    const WordArrangement a{p.coff.target_big_endian, p.settled.order, spec ? spec->datawidth : p.options.datawidth};
    arrange(a, r, data, nbytes);
}

// The range's 16-bit fill value in the target's byte order, repeated to a memory
// word of at least two bytes, then arranged like data.
void build_pattern(Placer& p, const RomRange& r)
{
    PlacementState& dp = p.state;
    size_t size = static_cast<size_t>(std::max(r.memwidth, 2));
    dp.pattern_view.resize(size);
    uint8_t* view = dp.pattern_view.data();
    const bool big = p.coff.target_big_endian;
    view[0] = static_cast<uint8_t>(big ? r.fill >> 8 : r.fill);
    view[1] = static_cast<uint8_t>(big ? r.fill : r.fill >> 8);
    for (size_t k = 2; k < size; ++k)
        view[k] = view[k - 2];
    dp.pattern = dp.pattern_view;
    arrange_bytes(p, r, dp.pattern.data(), static_cast<int>(size));
}

namespace {

// The owner of bytes at the cursor, with the map of the byte arrangement in a
// verify run: for each arranged offset in a period, the offset it came from.
ByteOwner owner_with_map(Placer& p, const RomRange& r, const char* prefix, const char* name)
{
    ByteOwner owner;
    owner.key = p.state.cursor.current_spec;
    owner.prefix = prefix;
    owner.name = name;
    if (!p.writing || !p.output.tap)
        return owner;
    const SectionSpec* spec = p.state.cursor.current_spec;
    const int unit = spec ? spec->datawidth : p.options.datawidth;
    const int period = std::max({unit, std::min(r.romwidth, r.memwidth), 1});
    std::vector<uint8_t>& map = p.state.source_map;
    map.resize(static_cast<size_t>(period));
    for (int i = 0; i < period; ++i)
        map[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
    arrange_bytes(p, r, map.data(), period);
    owner.source = map.data();
    owner.period = period;
    return owner;
}

}  // namespace

ByteOwner data_owner(Placer& p, const RomRange& r)
{
    const SectionSpec* spec = p.state.cursor.current_spec;
    if (p.boot_table.boot_state != 0 || !spec)
        return owner_with_map(p, r, "", "boot table");
    return owner_with_map(p, r, (spec->flags & SPEC_INSERT) ? "insert " : "", spec->name.c_str());
}

// What verify calls a slot's bytes before the value's name: "checksum crc32",
// "field length", "signature".
const char* slot_word(const Value& v)
{
    switch (v.kind) {
    case VALUE_CHECKSUM: return "checksum ";
    case VALUE_SIGNATURE: return "";
    case VALUE_STAMP: return "stamp ";
    default: return "field ";
    }
}

ByteOwner section_owner(Placer& p, const RomRange& r, const SectionSpec& spec, int n)
{
    ByteOwner owner = data_owner(p, r);
    if (!p.writing || !p.output.tap)
        return owner;
    const uint64_t first = p.state.cursor.next_address, last = first + static_cast<uint32_t>(n) - 1;
    for (const Value& v : p.values.list) {
        if (v.placeholder == &spec && v.range == &r && v.at <= last && uint64_t{v.at} + v.size - 1 >= first) {
            owner.inner = std::string(slot_word(v)) + value_name(v);
            owner.inner_first = v.at;
            owner.inner_last = v.at + v.size - 1;
        }
    }
    return owner;
}

ByteOwner fill_owner(Placer& p, const RomRange& r)
{
    return owner_with_map(p, r, "", "fill");
}

ByteOwner slot_owner(Placer& p, const RomRange& r, const Value& v)
{
    return owner_with_map(p, r, slot_word(v), value_name(v));
}

void write_at_cursor(Placer& p, const RomRange& r, const uint8_t* data, int nbytes, const ByteOwner& owner,
                     int period)
{
    Cursor& cursor = p.state.cursor;
    if (p.writing)
        write_range_data(p.output, r, cursor.next_address, data, nbytes, period, owner);
    cursor.next_address += static_cast<uint32_t>(nbytes);
}

bool pass_to(Placer& p, const RomRange& r, uint32_t last)
{
    Cursor& cursor = p.state.cursor;
    if (p.options.image)
        return write_fill(p, r, last);
    values_hole(p.values, p.coff.target_big_endian, r, cursor.next_address, last);
    cursor.next_address = last + 1;
    return last == 0xFFFFFFFF;
}

}  // namespace khex
