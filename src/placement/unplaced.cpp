#include "placement/unplaced.h"

namespace khex {

namespace {

// A pre-pass notes inserted data in the way of other data, or other data in
// its way: errors before the writing pass.
void note_clash(Placer& p, const SectionSpec& s, const SectionSpec& t, bool table_open, uint32_t address)
{
    if (p.writing)
        return;
    const bool t_boot = (t.flags & SPEC_BOOT) != 0;
    if (t.flags & SPEC_INSERT)
        p.state.clashes.push_back({&t, table_open ? "the boot table" : "section '" + s.name + "'", address});
    else if (s.flags & SPEC_INSERT)
        p.state.clashes.push_back({&s, t_boot ? "the boot table" : "section '" + t.name + "'", address});
}

}  // namespace

void report_unplaced(Placer& p, SectionSpec& s, uint32_t address)
{
    PlacementState& dp = p.state;
    Placement& mine = dp.placements[s.index];
    if (mine.incomplete)
        return;
    mine.incomplete = true;
    const bool table_open = p.boot_table.boot_state != 0;
    for (const SectionSpec* t : p.specs.spec_list) {
        const Placement& placed = dp.placements[t->index];
        if (t == &s || !placed.range || t->page != s.page || address < t->paddr || address > placed.end_address)
            continue;
        const bool boot = t->flags & SPEC_BOOT;
        note_clash(p, s, *t, table_open, address);
        mine.unplaced = table_open ? "the boot table overlaps section '" + t->name + "'"
                        : boot     ? std::string("overlaps the boot table")
                                   : "overlaps section '" + t->name + "'";
        if (table_open)
            report(p.diagnostics, SEVERITY_WARNING, "boot table at 0%lxh overlaps section '%s' (table incomplete)",
                   static_cast<unsigned long>(address), t->name.c_str());
        else
            report(p.diagnostics, SEVERITY_WARNING, "section '%s' at 0%lxh overlaps %s (%s incomplete or skipped)",
                   s.name.c_str(), static_cast<unsigned long>(address), boot ? "boot table" : t->name.c_str(),
                   s.name.c_str());
        return;
    }
    mine.unplaced = "lies in unconfigured memory";
    if (table_open) {
        report(p.diagnostics, SEVERITY_WARNING, "boot table falls in unconfigured memory at 0%lxh",
               static_cast<unsigned long>(address));
        return;
    }
    const RomRange* r = dp.cursor.current_range;
    uint32_t section_size = s.section >= 0 ? section_of(p.coff, s).s_size : 0;
    if (r && r->page == s.page && (address != s.paddr || s.paddr + section_size >= r->origin))
        report(p.diagnostics, SEVERITY_WARNING, "section '%s' overlaps unconfigured memory at 0%lxh (%s incomplete)",
               s.name.c_str(), static_cast<unsigned long>(address), s.name.c_str());
    else
        report(p.diagnostics, SEVERITY_WARNING, "section '%s' at 0%lxh falls in unconfigured memory (skipped)", s.name.c_str(),
               static_cast<unsigned long>(address));
}

}  // namespace khex
