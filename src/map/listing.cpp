// -sections and -symbols: what khex reads in the executable, and where the
// run's SECTIONS and options would put each section, without converting.
#include "map/reports.h"

#include <algorithm>
#include <cstring>

namespace khex {

namespace {

unsigned long hex(uint32_t value)
{
    return static_cast<unsigned long>(value);
}

// The range that holds a section entry's first byte, on its page.
const RomRange* range_at(const RangeState& ranges, const SectionSpec& spec)
{
    for (const RomRange* r : ranges.rom_list)
        if (r->page == spec.page && spec.paddr >= r->origin && spec.paddr <= r->end)
            return r;
    return nullptr;
}

}  // namespace

const char* section_kind(const SectionHeader& s)
{
    if (is_copy_cinit(s))
        return "RAM-model .cinit";
    if (s.s_flags & STYP_COPY)
        return "copy";
    if (s.s_flags & STYP_DSECT)
        return "dummy";
    if (s.s_flags & STYP_NOLOAD)
        return "no-load";
    if (s.s_scnptr == 0 || s.s_size == 0)
        return "uninitialised";
    return "initialised";
}

std::vector<SectionLine> section_lines(const ReportFacts& facts)
{
    std::vector<SectionLine> lines;
    const std::vector<SectionHeader>& sections = facts.coff.sections;
    for (size_t i = 0; i < sections.size(); ++i) {
        SectionLine line{&sections[i], section_kind(sections[i]), nullptr, nullptr};
        for (const SectionSpec* spec : facts.specs.spec_list)
            if (spec->section == static_cast<int>(i) && !line.spec)
                line.spec = spec;
        if (line.spec && !(line.spec->flags & SPEC_BOOT))
            line.range = range_at(facts.ranges, *line.spec);
        lines.push_back(line);
    }
    return lines;
}

std::vector<const SymbolRecord*> symbols_by_address(const ReportFacts& facts)
{
    std::vector<const SymbolRecord*> list;
    for (const SymbolRecord& s : facts.symbols.records)
        list.push_back(&s);
    std::stable_sort(list.begin(), list.end(), [](const SymbolRecord* a, const SymbolRecord* b) {
        return a->value != b->value ? a->value < b->value : std::strcmp(a->name, b->name) < 0;
    });
    return list;
}

std::string symbol_section(const ReportFacts& facts, const SymbolRecord& s)
{
    if (s.section > 0 && static_cast<size_t>(s.section) <= facts.coff.sections.size())
        return facts.coff.sections[static_cast<size_t>(s.section - 1)].name;
    return s.section == -1 ? "(absolute)" : "(none)";
}

void print_listing(const ReportFacts& facts, FILE* out)
{
    std::fprintf(out, "%s: %s-endian target, device %d, entry point 0x%08lx\n", facts.coff_name.c_str(),
                 facts.coff.target_big_endian ? "big" : "little", facts.settled.coff_device,
                 hex(facts.coff.coff_entry_point));
    const std::vector<SectionLine> lines = section_lines(facts);
    size_t width = std::strlen("section");
    for (const SectionLine& line : lines)
        width = std::max(width, line.section->name.size());
    const int w = static_cast<int>(width);
    std::fprintf(out, "\n%-*s  page  load        run         size        %-16s  selected\n", w, "section", "kind");
    for (const SectionLine& line : lines) {
        const SectionHeader& s = *line.section;
        std::fprintf(out, "%-*s  %4u  0x%08lx  0x%08lx  0x%08lx  %-16s  ", w, s.name.c_str(), s.s_page,
                     hex(listed_load_address(facts.coff, s)), hex(s.s_vaddr), hex(s.s_size), line.kind);
        if (!line.spec)
            std::fprintf(out, "no\n");
        else if (line.spec->flags & SPEC_BOOT)
            std::fprintf(out, "yes, into the boot table at 0x%08lx\n", hex(line.spec->paddr));
        else if (line.range)
            std::fprintf(out, "yes, at 0x%08lx in range '%s'\n", hex(line.spec->paddr), line.range->name.c_str());
        else
            std::fprintf(out, "yes, at 0x%08lx, in no range\n", hex(line.spec->paddr));
    }
    if (!facts.options.list_symbols)
        return;
    const std::vector<const SymbolRecord*> symbols = symbols_by_address(facts);
    width = std::strlen("symbol");
    for (const SymbolRecord* s : symbols)
        width = std::max(width, std::strlen(s->name));
    std::fprintf(out, "\n%-*s  address     section\n", static_cast<int>(width), "symbol");
    for (const SymbolRecord* s : symbols)
        std::fprintf(out, "%-*s  0x%08lx  %s\n", static_cast<int>(width), s->name, hex(s->value),
                     symbol_section(facts, *s).c_str());
}

}  // namespace khex
