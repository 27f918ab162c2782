#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "coff/loader.h"
#include "memory/ranges.h"
#include "memory/specs.h"

namespace khex {

namespace {

// The first section table entry with the given inline name, or -1.
int find_inline(const CoffState& coff, const char* name)
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

// What the selection works with.
struct Selector {
    SpecState& specs;
    Diagnostics& d;
    const ConvOptions& options;
    const Settled& settled;
    const CoffState& coff;
    const std::string& coff_name;
};

// Where a matched section entry's data goes: the boot table, or its own address.
void place_spec(const Settled& settled, SectionSpec& spec, const SectionHeader& source)
{
    if (spec.flags & SPEC_BOOT) {
        spec.paddr = settled.bootorg;
        spec.page = settled.bootpage;
    } else {
        if (spec.paddr == UNSET)
            spec.paddr = source.load_address;
        spec.page = source.s_page;
    }
}

void match_sections(const Selector& in)
{
    const CoffState& coff = in.coff;
    SpecState& specs = in.specs;
    std::unordered_map<std::string, int> first_by_name;
    for (size_t i = coff.sections.size(); i-- > 0;)
        first_by_name[coff.sections[i].name] = static_cast<int>(i);
    const int bss = find_inline(coff, ".bss");

    specs.selected_count = 0;
    for (SectionSpec* spec : specs.spec_list) {
        if (spec->datawidth == -1)
            spec->datawidth = in.options.datawidth;
        auto found = first_by_name.find(spec->name);
        if (found == first_by_name.end()) {
            report(in.d, SEVERITY_WARNING, "section %s not found in %s", spec->name.c_str(), in.coff_name.c_str());
            continue;
        }
        const SectionHeader& s = coff.sections[found->second];
        if (s.s_scnptr == 0 || s.s_size == 0 || (s.s_flags & (STYP_DSECT | STYP_NOLOAD)))
            continue;
        spec->section = found->second;
        ++specs.selected_count;

        const SectionHeader* source = &s;
        if (is_copy_cinit(s)) {
            if (in.options.image && !(spec->flags & SPEC_BOOT)) {
                report(in.d, SEVERITY_WARNING, "can't convert RAM-model .cinit with -image");
                spec->section = -1;
                continue;
            }
            spec->flags |= SPEC_CINIT;
            if (bss >= 0)
                source = &coff.sections[bss];
        }
        place_spec(in.settled, *spec, *source);
    }
}

// Conversion order: the bootstrap section first, then by page and physical
// address, list order breaking ties, except that a boot-loaded .cinit yields to
// the other boot sections; sections no section entry took keep their order at the end.
void order_sections(const Selector& in)
{
    SpecState& specs = in.specs;
    std::vector<SectionSpec*> order;
    SectionSpec* bootstrap = nullptr;
    if (in.options.has_bootstrap) {
        for (SectionSpec* spec : specs.spec_list) {
            if (spec->section >= 0 && spec->name == in.options.bootstrap) {
                bootstrap = spec;
                break;
            }
        }
        if (!bootstrap)
            fatal(in.d, "bootstrap section %s not found", in.options.bootstrap.c_str());
        order.push_back(bootstrap);
    }
    std::vector<SectionSpec*> rest;
    for (SectionSpec* spec : specs.spec_list)
        if (spec->section >= 0 && spec != bootstrap)
            rest.push_back(spec);
    std::stable_sort(rest.begin(), rest.end(), [](const SectionSpec* a, const SectionSpec* b) {
        if (a->page != b->page)
            return a->page < b->page;
        if (a->paddr != b->paddr)
            return a->paddr < b->paddr;
        return !is_boot_cinit(a) && is_boot_cinit(b);
    });
    order.insert(order.end(), rest.begin(), rest.end());

    const size_t count = in.coff.sections.size();
    std::vector<bool> taken(count, false);
    specs.conversion_order.clear();
    for (const SectionSpec* spec : order) {
        taken[spec->section] = true;
        specs.conversion_order.push_back(spec->section);
    }
    for (size_t i = 0; i < count; ++i)
        if (!taken[i])
            specs.conversion_order.push_back(static_cast<int>(i));
}

}  // namespace

void select_sections(SpecState& specs, Diagnostics& d, const ConvOptions& options, const Settled& settled,
                     const CoffState& coff, const std::string& coff_name)
{
    if (specs.spec_list.empty()) {
        for (const SectionHeader& s : coff.sections) {
            spec_begin(specs, s.name.c_str());
            if (options.boot_all)
                spec_boot(specs, d);
            spec_end(specs, d);
        }
    } else if (options.boot_all) {
        report(d, SEVERITY_WARNING, "-boot option ignored and overridden by SECTIONS directive");
    }
    const Selector in{specs, d, options, settled, coff, coff_name};
    match_sections(in);
    order_sections(in);
}

}  // namespace khex
