#include "placement/slots.h"

#include <algorithm>
#include <cstring>

#include "placement/fill.h"
#include "placement/value_pass.h"

namespace khex {

namespace {

unsigned long hex(uint64_t value)
{
    return static_cast<unsigned long>(value);
}

// The slot's bytes as the target reads them, in state.slot_bytes; the value
// is taken (and its warning given) when first_touch is set. A pre-pass that
// does not know the value writes zeros, which count as unknown.
uint8_t* slot_bytes(Placer& p, Value& v, bool first_touch)
{
    std::vector<uint8_t>& bytes = p.state.slot_bytes;
    bytes.assign(v.size, 0);
    const bool known = first_touch ? take_value(p.diagnostics, p.values, v) : v.known;
    if (known)
        value_bytes(v, p.coff.target_big_endian, bytes.data());
    else if (p.writing && !p.values.ahead_abandoned)
        internal_error(p.diagnostics, "the value of %s '%s' is not known at its slot", v.option.c_str(),
                       v.text.c_str());
    return bytes.data();
}

}  // namespace

void slot_taken(Placer& p, const Value& v)
{
    const SectionSpec* spec = p.state.cursor.current_spec;
    if (p.boot_table.boot_state != 0 || !spec)
        fatal(p.diagnostics, "the boot table would be placed in the %s slot at 0x%08lx of range '%s'",
              v.option.c_str(), hex(v.at), v.range->name.c_str());
    fatal(p.diagnostics, "section '%s' would be placed in the %s slot at 0x%08lx of range '%s'", spec->name.c_str(),
          v.option.c_str(), hex(v.at), v.range->name.c_str());
}

void values_of_data(Placer& p, const RomRange& r, const SectionSpec& spec, uint8_t* data, int n)
{
    const uint32_t base = p.state.cursor.next_address;
    const uint64_t end = uint64_t{base} + static_cast<uint32_t>(n);
    uint64_t a = base;  // bytes before a are fed
    for (Value* v; (v = pending_slot(p.values, r)) && v->at < end;) {
        if (v->placeholder != &spec)
            slot_taken(p, *v);
        if (v->at > a) {
            values_data(p.values, r, static_cast<uint32_t>(a), data + (a - base), static_cast<size_t>(v->at - a));
            a = v->at;
        }
        const uint64_t slot_last = uint64_t{v->at} + v->size - 1;
        const uint64_t last = std::min(slot_last, end - 1);
        const uint8_t* value = slot_bytes(p, *v, a == v->at);
        std::memcpy(data + (a - base), value + (a - v->at), static_cast<size_t>(last - a + 1));
        values_slot(p.values, *v, static_cast<uint32_t>(a), data + (a - base), static_cast<size_t>(last - a + 1));
        a = last + 1;
        if (last != slot_last)
            return;  // the slot goes on in the next piece
        v->written = true;
    }
    values_data(p.values, r, static_cast<uint32_t>(a), data + (a - base), static_cast<size_t>(end - a));
}

void write_slot(Placer& p, const RomRange& r, Value& v)
{
    PlacementState& dp = p.state;
    if (dp.cursor.next_address != v.at)
        fatal(p.diagnostics,
              "the fill before the %s slot at 0x%08lx of range '%s' ends inside it: the data before it does not "
              "end on a memory word",
              v.option.c_str(), hex(v.at), r.name.c_str());
    uint8_t* bytes = slot_bytes(p, v, true);
    values_slot(p.values, v, v.at, bytes, v.size);  // other spans may cover it
    Placing placing(dp.cursor, &v.label);
    arrange_bytes(p, r, bytes, static_cast<int>(v.size));
    write_at_cursor(p, r, bytes, static_cast<int>(v.size), slot_owner(p, r, v));
    v.written = true;
}

}  // namespace khex
