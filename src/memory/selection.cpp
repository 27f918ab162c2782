#include "memory/selection.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "coff/loader.h"
#include "driver/diagnostics.h"
#include "driver/input.h"
#include "driver/options.h"
#include "memory/ranges.h"
#include "memory/specs.h"

namespace khex {

namespace {

// The first section table entry with the given inline name, or -1.
int find_inline(const char* name)
{
    for (size_t i = 0; i < coff.sections.size(); ++i)
        if (std::strcmp(coff.sections[i].s_name, name) == 0)
            return static_cast<int>(i);
    return -1;
}

bool is_boot_cinit(const SectionSpec* spec)
{
    return (spec->flags & SPEC_BOOT) && (spec->flags & SPEC_CINIT);
}

}  // namespace

void select_sections()
{
    if (specs.spec_list.empty()) {
        for (const SectionHeader& s : coff.sections) {
            spec_begin(s.name.c_str());
            if (options.boot_all)
                spec_boot();
            spec_end();
        }
    } else if (options.boot_all) {
        report(SEVERITY_WARNING, "-boot option ignored and overridden by SECTIONS directive");
    }
    match_sections();
    order_section_table();
}

void match_sections()
{
    std::unordered_map<std::string, int> first_by_name;
    for (size_t i = coff.sections.size(); i-- > 0;)
        first_by_name[coff.sections[i].name] = static_cast<int>(i);
    const int bss = find_inline(".bss");

    specs.selected_count = 0;
    for (SectionSpec* spec : specs.spec_list) {
        if (spec->datawidth == -1)
            spec->datawidth = options.datawidth;
        auto found = first_by_name.find(spec->name);
        if (found == first_by_name.end()) {
            report(SEVERITY_WARNING, "section %s not found in %s", spec->name.c_str(), input.coff_name.c_str());
            continue;
        }
        const SectionHeader& s = coff.sections[found->second];
        if (s.s_scnptr == 0 || s.s_size == 0 || (s.s_flags & (STYP_DSECT | STYP_NOLOAD)))
            continue;
        spec->section = found->second;
        ++specs.selected_count;

        const SectionHeader* source = &s;
        if (is_copy_cinit(s)) {
            if (options.image && !(spec->flags & SPEC_BOOT)) {
                report(SEVERITY_WARNING, "can't convert RAM-model .cinit with -image");
                spec->section = -1;
                continue;
            }
            spec->flags |= SPEC_CINIT;
            if (bss >= 0)
                source = &coff.sections[bss];
        }
        if (spec->flags & SPEC_BOOT) {
            spec->paddr = spec->start_address = options.bootorg;
            spec->page = options.bootpage;
        } else {
            if (spec->paddr == UNSET)
                spec->paddr = spec->start_address = source->s_vaddr;
            spec->page = source->s_page;
        }
    }
}

// Conversion order: the bootstrap section first, then by page and physical
// address, list order breaking ties, except that a boot-loaded .cinit yields to
// the other boot sections; sections no spec took keep their order at the end.
void order_section_table()
{
    std::vector<SectionSpec*> order;
    if (options.has_bootstrap) {
        SectionSpec* bootstrap = nullptr;
        for (SectionSpec* spec : specs.spec_list) {
            if (spec->section >= 0 && spec->name == options.bootstrap) {
                bootstrap = spec;
                break;
            }
        }
        if (!bootstrap)
            fatal("bootstrap section %s not found", options.bootstrap.c_str());
        bootstrap->flags |= SPEC_TAKEN;
        order.push_back(bootstrap);
    }
    std::vector<SectionSpec*> rest;
    for (SectionSpec* spec : specs.spec_list)
        if (spec->section >= 0 && !(spec->flags & SPEC_TAKEN))
            rest.push_back(spec);
    std::stable_sort(rest.begin(), rest.end(), [](const SectionSpec* a, const SectionSpec* b) {
        if (a->page != b->page)
            return a->page < b->page;
        if (a->paddr != b->paddr)
            return a->paddr < b->paddr;
        return !is_boot_cinit(a) && is_boot_cinit(b);
    });
    for (SectionSpec* spec : rest) {
        spec->flags |= SPEC_TAKEN;
        order.push_back(spec);
    }

    std::vector<SectionHeader> table;
    table.reserve(coff.sections.size());
    std::vector<bool> taken(coff.sections.size(), false);
    for (SectionSpec* spec : order) {
        taken[spec->section] = true;
        table.push_back(coff.sections[spec->section]);
        spec->section = static_cast<int>(table.size() - 1);
    }
    for (size_t i = 0; i < coff.sections.size(); ++i)
        if (!taken[i])
            table.push_back(coff.sections[i]);
    coff.sections = std::move(table);
}

}  // namespace khex
