#include "memory/map.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <vector>

#include "boot/table.h"
#include "coff/loader.h"
#include "driver/banner.h"
#include "driver/diagnostics.h"
#include "driver/input.h"
#include "driver/options.h"
#include "memory/ranges.h"
#include "memory/specs.h"
#include "output/formats.h"
#include "output/framework.h"
#include "output/pending.h"

namespace khex {

namespace {

const char STARS[] = "********************************************************************************\n";
const char DASHES[] = "\n--------------------------------------------------------------------------------\n";
const char CONTINUATION[] = "             ";  // 13 blanks under "   CONTENTS: "

struct MapState {
    bool map_title_pending;
};
MapState map;

[[noreturn]] void map_write_failed()
{
    fatal("error writing map file '%s': %s", options.map_name.c_str(), std::strerror(errno));
}

[[gnu::format(printf, 1, 2)]] void put(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int n = std::vfprintf(options.map_file, format, args);
    va_end(args);
    if (n < 0)
        map_write_failed();
}

unsigned long hex(uint32_t value)
{
    return static_cast<unsigned long>(value);
}

const char* port_text(int port)
{
    switch (port) {
    case BOOT_PORT_SERIAL: return "  SERIAL PORT ";
    case BOOT_PORT_PARALLEL: return "  PARALLEL PORT ";
    default: return "";
    }
}

const char* mode_text(int mode)
{
    switch (mode) {
    case BOOT_MODE_WREN16: return "(Wren 16 bit Mode)";
    case BOOT_MODE_WREN32: return "(Wren 32 bit Mode)";
    case BOOT_MODE_8BIT: return "(Kite 8 bit Mode)";
    case BOOT_MODE_KITE16: return "(Kite 16 bit Mode)";
    default: return "";
    }
}

void write_output_files(const RomRange& r)
{
    put("   OUTPUT FILES: ");
    for (int i = 0; i < r.file_count; ++i) {
        if (i > 0)
            put("                 ");
        put("%s [b%d..b%d]", r.files[i].c_str(), i * bits(r.romwidth), (i + 1) * bits(r.romwidth) - 1);
        if (device_addressing(r))
            put("  ROM addresses %08lx..%08lx", hex(device_address(r, r.origin)),
                hex(device_address(r, r.end) + static_cast<uint32_t>(r.romwidth) - 1));
        put("\n");
    }
}

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

void write_contents(const RomRange& r, std::vector<SectionSpec*>& held)
{
    SectionSpec* first = held.front();
    for (SectionSpec* t : held)
        if (t->start_address < first->start_address)
            first = t;
    for (SectionSpec* t : held)
        t->flags &= ~SPEC_TAKEN;
    first->flags |= SPEC_TAKEN;

    put("\n   CONTENTS: ");
    uint32_t a = r.origin;
    bool boot_pending = true;
    // Every step lists a new boot section or moves a forward; the bound is a
    // safety net only.
    size_t steps_left = 4 * held.size() + 4;
    for (SectionSpec* e = first; e && steps_left > 0; --steps_left) {
        if (e != first)
            put("%s", CONTINUATION);
        if (e->flags & SPEC_BOOT) {
            if (boot_pending) {
                put("%08lx..%08lx   BOOT TABLE", hex(options.bootorg), hex(boot_table.boot_address - 1));
                for (const SectionSpec* t : held) {
                    if ((t->flags & SPEC_BOOT) && (t->flags & SPEC_INCOMPLETE)) {
                        put(" (INCOMPLETE)");
                        break;
                    }
                }
                put("\n%s", CONTINUATION);
                boot_pending = false;
            }
            put(" %19s : ", e->name.c_str());
            if (e->flags & SPEC_LISTED)
                put("(continued)\n");
            else
                put("dest=%08lx  size=%08lx  width=%08dx\n", hex(section_of(e).s_vaddr), hex(section_of(e).s_size),
                    e->datawidth);
            e->flags |= SPEC_LISTED;
            a += section_of(e).s_size;
            e = next_after_boot(held, e);
            continue;
        }
        if (options.image && a != e->start_address)
            put("%08lx..%08lx   FILL = %08lx\n%s", hex(a), hex(e->start_address - 1), hex(r.fill), CONTINUATION);
        put("%08lx..%08lx   %s%s\n", hex(e->start_address), hex(e->end_address), e->name.c_str(),
            (e->flags & SPEC_INCOMPLETE) ? " (INCOMPLETE)" : "");
        e->flags |= SPEC_LISTED;
        // A section whose last word reaches past the top of the address space
        // ends the range's contents; nothing lies beyond it.
        if (e->end_address == 0xFFFFFFFF || e->end_address < e->start_address) {
            a = 0;
            break;
        }
        a = e->end_address + 1;
        e = next_after_section(held, a);
    }
    if (options.image && a != 0 && a <= r.end)
        put("%s%08lx..%08lx   FILL = %08lx\n", CONTINUATION, hex(a), hex(r.end), hex(r.fill));
}

}  // namespace

void reset_map()
{
    map.map_title_pending = true;
}

void write_map_header()
{
    put("%s", STARS);
    put("%-*s %s\n", 79 - static_cast<int>(std::strlen(BANNER_VERSION)), BANNER_TITLE, BANNER_VERSION);
    put("%s", STARS);
    put("\nINPUT FILE NAME: <%s>\n", input.coff_name.c_str());
    put("OUTPUT FORMAT:   %s\n", selected_format().name);
    put("\nPHYSICAL MEMORY PARAMETERS\n");
    put("   Default data width   :  %2d\n", bits(options.datawidth));
    put("   Default memory width :  %2d", bits(options.memwidth));
    if (options.datawidth > options.memwidth)
        put("%s", options.order == ORDER_MS ? " (MS-->LS)" : " (LS-->MS)");
    put("\n");
    put("   Default output width :  %2d\n", bits(options.romwidth));

    bool boot_loaded = false;
    for (const SectionSpec* spec : specs.spec_list)
        boot_loaded |= spec->section >= 0 && (spec->flags & SPEC_BOOT);
    if (!boot_loaded)
        return;
    put("\nBOOT LOADER PARAMETERS\n");
    if (options.boot.mode == BOOT_MODE_NONE)
        put("   Table Address:\t  0x%08lx, PAGE %d\n", hex(options.bootorg), options.bootpage);
    else
        put("   Table Type:\t\t%s%s\n", port_text(options.boot.port), mode_text(options.boot.mode));
    put("   Entry Point:\t\t  0x%08lx", hex(options.entry_address));
    if (options.has_entry_symbol)
        put("  (%s)", options.entry_symbol.c_str());
    put("\n");
}

void write_map_range()
{
    const RomRange& r = *ranges.current_range;
    if (map.map_title_pending) {
        put("\n\nOUTPUT TRANSLATION MAP");
        map.map_title_pending = false;
    }
    put("%s", DASHES);
    put("%08lx..%08lx  Page=%d  Memory Width=%d  ROM Width=%d", hex(r.origin), hex(r.end), r.page, bits(r.memwidth),
        bits(r.romwidth));
    if (r.name != "*DEFAULT*")
        put("  \"%s\"", r.name.c_str());
    put("%s", DASHES);

    std::vector<SectionSpec*> held;
    for (SectionSpec* spec : specs.spec_list)
        if (spec->range == &r)
            held.push_back(spec);
    if (held.empty()) {
        if (options.image)
            write_output_files(r);
        else
            put("   NO CONTENTS\n");
        return;
    }
    write_output_files(r);
    write_contents(r, held);
}

void close_map_file()
{
    FILE* file = options.map_file;
    options.map_file = nullptr;
    if (file && !close_pending(file))
        map_write_failed();
}

}  // namespace khex
