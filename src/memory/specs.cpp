#include "memory/specs.h"

#include "cmdfile/lexer.h"
#include "driver/diagnostics.h"
#include "memory/ranges.h"

namespace khex {

SpecState specs;

void reset_specs()
{
    specs.store.clear();
    specs.spec_list.clear();
    specs.listed_names.clear();
    specs.current_spec = nullptr;
    specs.selected_count = 0;
}

void sections_begin()
{
    directive_mode_on();
    if (!specs.spec_list.empty())
        report(SEVERITY_ERROR, "SECTIONS directive redefined");
}

void spec_begin(const char* name)
{
    SectionSpec spec{};
    spec.name = name;
    spec.section = -1;
    spec.paddr = UNSET;
    spec.start_address = UNSET;
    spec.datawidth = -1;
    specs.current_spec = &specs.store.emplace_back(std::move(spec));
}

void spec_boot()
{
    SectionSpec* spec = specs.current_spec;
    if (!spec)
        return;
    if (spec->flags & SPEC_BOOT)
        report(SEVERITY_ERROR, "bootflag reset for %s", spec->name.c_str());
    else
        spec->flags |= SPEC_BOOT;
}

void spec_datawidth(uint32_t value)
{
    SectionSpec* spec = specs.current_spec;
    if (!spec)
        return;
    if (spec->datawidth != -1)
        report(SEVERITY_ERROR, "datawidth redefined for %s", spec->name.c_str());
    if (value % 8 == 0 && is_power_of_two(value))
        spec->datawidth = static_cast<int32_t>(value / 8);
    else
        report(SEVERITY_WARNING, "illegal datawidth of %d specified for %s", static_cast<int>(value),
               spec->name.c_str());
}

// A paddr before the boot mark is accepted here; matching replaces it with the
// boot table's address.
void spec_paddr(uint32_t value)
{
    SectionSpec* spec = specs.current_spec;
    if (!spec)
        return;
    if (spec->paddr != UNSET || (spec->flags & SPEC_BOOT))
        report(SEVERITY_ERROR, "physical address redefined for %s", spec->name.c_str());
    else
        spec->paddr = value;
    spec->start_address = spec->paddr;
}

void spec_end()
{
    SectionSpec* spec = specs.current_spec;
    if (!spec)
        return;
    if (!specs.listed_names.insert(spec->name).second) {
        report(SEVERITY_WARNING, "duplicate section name '%s' (ignored)",
               spec->name.empty() ? "<??" "?>" : spec->name.c_str());
        return;
    }
    specs.spec_list.push_back(spec);
}

}  // namespace khex
