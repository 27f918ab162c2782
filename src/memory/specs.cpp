#include "memory/specs.h"

#include "driver/run.h"

namespace khex {

void sections_begin(Run& run)
{
    if (!run.specs.spec_list.empty())
        report(run.diagnostics, SEVERITY_ERROR, "SECTIONS directive redefined");
}

void spec_begin(Run& run, const char* name)
{
    SectionSpec spec{};
    spec.name = name;
    spec.section = -1;
    spec.paddr = UNSET;
    spec.datawidth = -1;
    run.specs.defining = &run.specs.store.emplace_back(std::move(spec));
}

void spec_boot(Run& run)
{
    SectionSpec* spec = run.specs.defining;
    if (!spec)
        return;
    if (spec->flags & SPEC_BOOT)
        report(run.diagnostics, SEVERITY_ERROR, "bootflag reset for %s", spec->name.c_str());
    else
        spec->flags |= SPEC_BOOT;
}

void spec_datawidth(Run& run, uint32_t value)
{
    SectionSpec* spec = run.specs.defining;
    if (!spec)
        return;
    if (spec->datawidth != -1)
        report(run.diagnostics, SEVERITY_ERROR, "datawidth redefined for %s", spec->name.c_str());
    if (value % 8 == 0 && is_power_of_two(value))
        spec->datawidth = static_cast<int32_t>(value / 8);
    else
        report(run.diagnostics, SEVERITY_WARNING, "illegal datawidth of %d specified for %s", static_cast<int>(value),
               spec->name.c_str());
}

// A paddr before the boot mark is accepted here; matching replaces it with the
// boot table's address.
void spec_paddr(Run& run, uint32_t value)
{
    SectionSpec* spec = run.specs.defining;
    if (!spec)
        return;
    if (spec->paddr != UNSET || (spec->flags & SPEC_BOOT))
        report(run.diagnostics, SEVERITY_ERROR, "physical address redefined for %s", spec->name.c_str());
    else
        spec->paddr = value;
}

void spec_end(Run& run)
{
    SpecState& specs = run.specs;
    SectionSpec* spec = specs.defining;
    if (!spec)
        return;
    if (!specs.listed_names.insert(spec->name).second) {
        report(run.diagnostics, SEVERITY_WARNING, "duplicate section name '%s' (ignored)",
               spec->name.empty() ? "<??" "?>" : spec->name.c_str());
        return;
    }
    spec->index = specs.spec_list.size();
    specs.spec_list.push_back(spec);
}

const SectionHeader& section_of(const Run& run, const SectionSpec& spec)
{
    return run.coff.sections[spec.section];
}

bool boot_sections_selected(const Run& run)
{
    for (const SectionSpec* spec : run.specs.spec_list)
        if (spec->section >= 0 && (spec->flags & SPEC_BOOT))
            return true;
    return false;
}

}  // namespace khex
