#include "map/contents.h"
#include "map/reports.h"

#include <algorithm>


namespace khex {

namespace {

// One walk through a range's section entries, from its first placed byte on.
struct Walk {
    const ReportFacts& facts;
    const RomRange& r;
    std::vector<bool>& listed;             // by section entry index
    std::vector<const SectionSpec*> held;  // section entries whose data the range last received
    std::vector<bool> taken;               // by section entry index: reached by the walk
    std::vector<bool> shown;               // by section entry index: a boot section listed in this range
    std::vector<ContentEntry> contents;
    uint32_t a;                            // the address the walk has reached
    bool boot_pending = true;              // the table's own entry is still to come
};

const Placement& placed(const Walk& w, const SectionSpec* spec)
{
    return placement_of(w.facts.placement, *spec);
}

// The entry after a boot-loaded one: the untaken section entry whose section's address is
// lowest among those not below e's (compared as signed values).
const SectionSpec* next_after_boot(Walk& w, const SectionSpec* e)
{
    const int32_t from = static_cast<int32_t>(section_of(w.facts.coff, *e).s_vaddr);
    const SectionSpec* best = nullptr;
    for (const SectionSpec* t : w.held) {
        if (w.taken[t->index] || t->section < 0)
            continue;
        int32_t at = static_cast<int32_t>(section_of(w.facts.coff, *t).s_vaddr);
        if (at >= from && (!best || at < static_cast<int32_t>(section_of(w.facts.coff, *best).s_vaddr)))
            best = t;
    }
    if (best)
        w.taken[best->index] = true;
    return best;
}

// The entry after a section: the lowest start address not below a; a boot
// section this range lists already is not listed again.
const SectionSpec* next_after_section(Walk& w, uint32_t a)
{
    const SectionSpec* best = nullptr;
    for (const SectionSpec* t : w.held) {
        if ((t->flags & SPEC_BOOT) && w.shown[t->index])
            continue;
        if (placed(w, t).start_address >= a && (!best || placed(w, t).start_address < placed(w, best).start_address))
            best = t;
    }
    if (best)
        w.taken[best->index] = true;  // a boot section reached from here is not listed again
    return best;
}

// The table's own entry (with the fill before it) at its first section, then
// the section's record, once in the range; what follows the table starts
// after its last byte in the range. The entry's text runs from bootorg to
// the table's address as the range closes; its bytes are what it placed.
const SectionSpec* list_boot_section(Walk& w, const SectionSpec* e)
{
    const uint32_t bootorg = w.facts.settled.bootorg;
    const uint32_t table_end = w.facts.boot_table.boot_address;
    const BootExtent* x = boot_extent_in(w.facts.placement, w.r);
    if (w.boot_pending) {
        const uint32_t first = x ? x->first : bootorg;
        if (w.facts.options.image && w.a < first && first <= w.r.end)
            w.contents.push_back({ContentEntry::FILL, w.a, first - 1, nullptr, false, false});
        ContentEntry table{
            ContentEntry::BOOT_TABLE, bootorg, table_end - 1, nullptr, boot_table_incomplete(w.facts, &w.r), false};
        table.first = x ? x->first : 1;
        table.last = x ? x->last : 0;
        w.contents.push_back(table);
        w.boot_pending = false;
    }
    if (!w.shown[e->index])
        w.contents.push_back({ContentEntry::BOOT_SECTION, 0, 0, e, false, w.listed[e->index]});
    w.shown[e->index] = true;
    w.listed[e->index] = true;
    if (x) {
        if (x->last == 0xFFFFFFFF) {
            w.a = 0;  // the table reaches the top of the address space
            return nullptr;
        }
        w.a = std::max(w.a, x->last + 1);
    } else {
        w.a = std::max(w.a, table_end);
    }
    const SectionSpec* next = next_after_boot(w, e);
    // sections placed behind the table are listed too, not lost
    return next ? next : next_after_section(w, w.a);
}

// A section, with the fill before it; nullptr when nothing can follow it.
const SectionSpec* list_section(Walk& w, const SectionSpec* e)
{
    const Placement& p = placed(w, e);
    if (w.facts.options.image && w.a != p.start_address)
        w.contents.push_back({ContentEntry::FILL, w.a, p.start_address - 1, nullptr, false, false});
    w.contents.push_back({ContentEntry::SECTION, p.start_address, p.end_address, e, p.incomplete, false});
    w.listed[e->index] = true;
    // A section whose last word reaches past the top of the address space
    // ends the range's contents; nothing lies beyond it.
    if (p.end_address == 0xFFFFFFFF || p.end_address < p.start_address) {
        w.a = 0;
        return nullptr;
    }
    w.a = p.end_address + 1;
    return next_after_section(w, w.a);
}

// The value slots of the range among its contents, in address order: a slot
// lies where no section or boot table is, inside a fill area in image mode,
// or over the bytes of the section that reserved it, listed after it.
void add_slots(const ReportFacts& facts, const RomRange& r, std::vector<ContentEntry>& contents)
{
    for (const Value& c : facts.values.list) {
        if (c.range != &r || !c.written)
            continue;
        const uint32_t first = c.at;
        const uint32_t last = c.at + c.size - 1;
        if (contents.empty() && facts.options.image)
            contents.push_back({ContentEntry::FILL, r.origin, r.end, nullptr, false, false});
        size_t i = 0;
        while (i < contents.size() &&
               (contents[i].kind == ContentEntry::BOOT_SECTION || contents[i].start <= first)) {
            const ContentEntry e = contents[i];
            if (e.kind == ContentEntry::FILL && first <= e.end) {
                contents.erase(contents.begin() + static_cast<long>(i));
                if (last < e.end)
                    contents.insert(contents.begin() + static_cast<long>(i), {ContentEntry::FILL, last + 1, e.end,
                                                                              nullptr, false, false});
                if (e.start < first)
                    contents.insert(contents.begin() + static_cast<long>(i++),
                                    {ContentEntry::FILL, e.start, first - 1, nullptr, false, false});
                break;
            }
            ++i;
        }
        contents.insert(contents.begin() + static_cast<long>(i),
                        {ContentEntry::VALUE, first, last, nullptr, false, false, &c});
    }
}

}  // namespace

bool boot_table_incomplete(const ReportFacts& facts, const RomRange* r)
{
    for (const SectionSpec* spec : facts.specs.spec_list) {
        const Placement& p = placement_of(facts.placement, *spec);
        if ((spec->flags & SPEC_BOOT) && p.incomplete && (!r || p.range == r))
            return true;
    }
    return false;
}

std::vector<ContentEntry> range_contents(const ReportFacts& facts, const RomRange& r, std::vector<bool>& listed)
{
    const size_t n = facts.specs.spec_list.size();
    Walk w{facts, r, listed, {}, std::vector<bool>(n), std::vector<bool>(n), {}, r.origin};
    for (const SectionSpec* spec : facts.specs.spec_list)
        if (placement_of(facts.placement, *spec).range == &r)
            w.held.push_back(spec);
    if (w.held.empty()) {
        add_slots(facts, r, w.contents);
        return std::move(w.contents);
    }

    const SectionSpec* e = w.held.front();
    for (const SectionSpec* t : w.held)
        if (placed(w, t).start_address < placed(w, e).start_address)
            e = t;
    w.taken[e->index] = true;
    // Every step lists a new boot section or moves the walk forward; the bound
    // is a safety net only.
    for (size_t steps_left = 4 * w.held.size() + 4; e && steps_left > 0; --steps_left)
        e = (e->flags & SPEC_BOOT) ? list_boot_section(w, e) : list_section(w, e);
    if (facts.options.image && w.a != 0 && w.a <= r.end)
        w.contents.push_back({ContentEntry::FILL, w.a, r.end, nullptr, false, false});
    add_slots(facts, r, w.contents);
    return std::move(w.contents);
}

}  // namespace khex
