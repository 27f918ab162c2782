#include "memory/contents.h"

#include <algorithm>

#include "boot/table.h"
#include "coff/loader.h"
#include "driver/options.h"
#include "memory/ranges.h"
#include "memory/specs.h"

namespace khex {

namespace {

const SectionHeader& section_of(const SectionSpec* spec)
{
    return coff.sections[spec->section];
}

// The entry after a boot-loaded one: the untaken spec whose section's address is
// lowest among those not below e's (compared as signed values).
SectionSpec* next_after_boot(const std::vector<SectionSpec*>& held, const SectionSpec* e)
{
    const int32_t from = static_cast<int32_t>(section_of(e).s_vaddr);
    SectionSpec* best = nullptr;
    for (SectionSpec* t : held) {
        if ((t->flags & SPEC_TAKEN) || t->section < 0)
            continue;
        int32_t at = static_cast<int32_t>(section_of(t).s_vaddr);
        if (at >= from && (!best || at < static_cast<int32_t>(section_of(best).s_vaddr)))
            best = t;
    }
    if (best)
        best->flags |= SPEC_TAKEN;
    return best;
}

// The entry after a section: the lowest start address not below a.
SectionSpec* next_after_section(const std::vector<SectionSpec*>& held, uint32_t a)
{
    SectionSpec* best = nullptr;
    for (SectionSpec* t : held)
        if (t->start_address >= a && (!best || t->start_address < best->start_address))
            best = t;
    return best;
}

}  // namespace

std::vector<ContentEntry> range_contents(const RomRange& r)
{
    std::vector<SectionSpec*> held;
    for (SectionSpec* spec : specs.spec_list)
        if (spec->range == &r)
            held.push_back(spec);
    std::vector<ContentEntry> contents;
    if (held.empty())
        return contents;

    SectionSpec* first = held.front();
    for (SectionSpec* t : held)
        if (t->start_address < first->start_address)
            first = t;
    for (SectionSpec* t : held)
        t->flags &= ~SPEC_TAKEN;
    first->flags |= SPEC_TAKEN;

    uint32_t a = r.origin;
    bool boot_pending = true;
    // Every step lists a new boot section or moves a forward; the bound is a
    // safety net only.
    size_t steps_left = 4 * held.size() + 4;
    for (SectionSpec* e = first; e && steps_left > 0; --steps_left) {
        if (e->flags & SPEC_BOOT) {
            if (boot_pending) {
                if (options.image && a < options.bootorg && options.bootorg <= r.end)
                    contents.push_back({ContentEntry::FILL, a, options.bootorg - 1, nullptr, false, false});
                bool incomplete = false;
                for (const SectionSpec* t : held)
                    incomplete |= (t->flags & SPEC_BOOT) && (t->flags & SPEC_INCOMPLETE);
                contents.push_back({ContentEntry::BOOT_TABLE, options.bootorg, boot_table.boot_address - 1, nullptr,
                                    incomplete, false});
                boot_pending = false;
            }
            contents.push_back({ContentEntry::BOOT_SECTION, 0, 0, e, false, (e->flags & SPEC_LISTED) != 0});
            e->flags |= SPEC_LISTED;
            // what follows the table starts after all of it, not after its sections' bytes
            a = std::max(a + section_of(e).s_size, boot_table.boot_address);
            e = next_after_boot(held, e);
            if (!e) {
                // sections placed behind the table are listed too, not lost
                e = next_after_section(held, a);
                if (e)
                    e->flags |= SPEC_TAKEN;
            }
            continue;
        }
        if (options.image && a != e->start_address)
            contents.push_back({ContentEntry::FILL, a, e->start_address - 1, nullptr, false, false});
        contents.push_back({ContentEntry::SECTION, e->start_address, e->end_address, e,
                            (e->flags & SPEC_INCOMPLETE) != 0, false});
        e->flags |= SPEC_LISTED;
        // A section whose last word reaches past the top of the address space
        // ends the range's contents; nothing lies beyond it.
        if (e->end_address == 0xFFFFFFFF || e->end_address < e->start_address) {
            a = 0;
            break;
        }
        a = e->end_address + 1;
        e = next_after_section(held, a);
        if (e)
            e->flags |= SPEC_TAKEN;  // a boot section reached from here is not listed again
    }
    if (options.image && a != 0 && a <= r.end)
        contents.push_back({ContentEntry::FILL, a, r.end, nullptr, false, false});
    return contents;
}

}  // namespace khex
