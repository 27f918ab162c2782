#include "memory/specs.h"

#include "coff/loader.h"
#include "memory/ranges.h"

namespace khex {

void sections_begin(SpecState& specs, Diagnostics& d)
{
    if (!specs.spec_list.empty())
        report(d, SEVERITY_ERROR, "SECTIONS directive redefined");
}

void spec_begin(SpecState& specs, const char* name)
{
    SectionSpec spec{};
    spec.name = name;
    spec.section = -1;
    spec.paddr = UNSET;
    spec.datawidth = -1;
    specs.defining = &specs.store.emplace_back(std::move(spec));
}

void spec_boot(SpecState& specs, Diagnostics& d)
{
    SectionSpec* spec = specs.defining;
    if (!spec)
        return;
    if (spec->flags & SPEC_BOOT)
        report(d, SEVERITY_ERROR, "bootflag reset for %s", spec->name.c_str());
    else
        spec->flags |= SPEC_BOOT;
}

void spec_datawidth(SpecState& specs, Diagnostics& d, uint32_t value)
{
    SectionSpec* spec = specs.defining;
    if (!spec)
        return;
    if (spec->datawidth != -1)
        report(d, SEVERITY_ERROR, "datawidth redefined for %s", spec->name.c_str());
    if (value % 8 == 0 && is_power_of_two(value))
        spec->datawidth = static_cast<int32_t>(value / 8);
    else
        report(d, SEVERITY_WARNING, "illegal datawidth of %d specified for %s", static_cast<int>(value),
               spec->name.c_str());
}

// A paddr before the boot mark is accepted here; matching replaces it with the
// boot table's address.
void spec_paddr(SpecState& specs, Diagnostics& d, uint32_t value)
{
    SectionSpec* spec = specs.defining;
    if (!spec)
        return;
    if (spec->paddr != UNSET || (spec->flags & SPEC_BOOT))
        report(d, SEVERITY_ERROR, "physical address redefined for %s", spec->name.c_str());
    else
        spec->paddr = value;
}

void spec_end(SpecState& specs, Diagnostics& d)
{
    SectionSpec* spec = specs.defining;
    if (!spec)
        return;
    if (!specs.listed_names.insert(spec->name).second) {
        report(d, SEVERITY_WARNING, "duplicate section name '%s' (ignored)",
               spec->name.empty() ? "<??" "?>" : spec->name.c_str());
        return;
    }
    spec->index = specs.spec_list.size();
    specs.spec_list.push_back(spec);
}

const SectionHeader& section_of(const CoffState& coff, const SectionSpec& spec)
{
    return coff.sections[spec.section];
}

bool boot_sections_selected(const SpecState& specs)
{
    for (const SectionSpec* spec : specs.spec_list)
        if (spec->section >= 0 && (spec->flags & SPEC_BOOT))
            return true;
    return false;
}

}  // namespace khex
