// The map file: a header with the conversion's parameters, then one entry per
// ROM range as it is closed.
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <vector>

#include "base/banner.h"
#include "driver/run.h"
#include "map/reports.h"

namespace khex {

namespace {

const char STARS[] = "********************************************************************************\n";
const char DASHES[] = "\n--------------------------------------------------------------------------------\n";
const char CONTINUATION[] = "             ";  // 13 blanks under "   CONTENTS: "

[[noreturn]] void map_write_failed(Run& run)
{
    fatal(run.diagnostics, "error writing map file '%s': %s", run.options.map_name.c_str(), std::strerror(errno));
}

[[gnu::format(printf, 2, 3)]] void put(Run& run, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int n = std::vfprintf(run.options.map_file, format, args);
    va_end(args);
    if (n < 0)
        map_write_failed(run);
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

void write_output_files(Run& run, const RomRange& r)
{
    put(run, "   OUTPUT FILES: ");
    for (int i = 0; i < r.file_count; ++i) {
        if (i > 0)
            put(run, "                 ");
        const LaneFacts lane = lane_facts(run, r, i);
        put(run, "%s [b%d..b%d]", r.files[i].c_str(), lane.first_bit, lane.last_bit);
        if (lane.device)
            put(run, "  ROM addresses %08lx..%08lx", hex(lane.rom_first), hex(lane.rom_last));
        put(run, "\n");
    }
}

void write_contents(Run& run, const RomRange& r, const std::vector<ContentEntry>& contents)
{
    put(run, "\n   CONTENTS: ");
    for (size_t i = 0; i < contents.size(); ++i) {
        const ContentEntry& e = contents[i];
        if (i > 0)
            put(run, "%s", CONTINUATION);
        switch (e.kind) {
        case ContentEntry::FILL:
            put(run, "%08lx..%08lx   FILL = %08lx\n", hex(e.start), hex(e.end), hex(r.fill));
            break;
        case ContentEntry::SECTION:
            put(run, "%08lx..%08lx   %s%s\n", hex(e.start), hex(e.end), e.spec->name.c_str(),
                e.incomplete ? " (INCOMPLETE)" : "");
            break;
        case ContentEntry::CHECKSUM: {
            const Checksum& c = *e.checksum;
            put(run, "%08lx..%08lx   CHECKSUM %s = %0*lx over %08lx..%08lx\n", hex(e.start), hex(e.end),
                c.algorithm.name, value_digits(c), hex(c.value), hex(c.from), hex(c.to));
            break;
        }
        case ContentEntry::BOOT_TABLE:
            put(run, "%08lx..%08lx   BOOT TABLE%s\n", hex(e.start), hex(e.end), e.incomplete ? " (INCOMPLETE)" : "");
            break;
        case ContentEntry::BOOT_SECTION:
            put(run, " %19s : ", e.spec->name.c_str());
            if (e.continued)
                put(run, "(continued)\n");
            else
                put(run, "dest=%08lx  size=%08lx  width=%08dx\n", hex(section_of(run.coff, *e.spec).s_vaddr),
                    hex(section_of(run.coff, *e.spec).s_size), e.spec->datawidth);
            break;
        }
    }
}

}  // namespace

void write_map_header(Run& run)
{
    const ConvOptions& options = run.options;
    const Settled& settled = run.settled;
    put(run, "%s", STARS);
    put(run, "%-*s %s\n", 79 - static_cast<int>(std::strlen(BANNER_VERSION)), BANNER_TITLE, BANNER_VERSION);
    put(run, "%s", STARS);
    put(run, "\nINPUT FILE NAME: <%s>\n", run.input.coff_name.c_str());
    put(run, "OUTPUT FORMAT:   %s\n", selected_format(run.options).name);
    put(run, "\nPHYSICAL MEMORY PARAMETERS\n");
    put(run, "   Default data width   :  %2d\n", bits(options.datawidth));
    put(run, "   Default memory width :  %2d", bits(options.memwidth));
    if (options.datawidth > options.memwidth)
        put(run, "%s", settled.order == ORDER_MS ? " (MS-->LS)" : " (LS-->MS)");
    put(run, "\n");
    put(run, "   Default output width :  %2d\n", bits(options.romwidth));

    if (!boot_sections_selected(run.specs))
        return;
    put(run, "\nBOOT LOADER PARAMETERS\n");
    if (options.boot.mode == BOOT_MODE_NONE)
        put(run, "   Table Address:\t  0x%08lx, PAGE %d\n", hex(settled.bootorg), settled.bootpage);
    else
        put(run, "   Table Type:\t\t%s%s\n", port_text(options.boot.port), mode_text(options.boot.mode));
    put(run, "   Entry Point:\t\t  0x%08lx", hex(settled.entry_address));
    if (options.has_entry_symbol)
        put(run, "  (%s)", options.entry_symbol.c_str());
    put(run, "\n");
}

void write_map_range(Run& run, const RomRange& r, const std::vector<ContentEntry>& contents)
{
    if (run.reports.map_title_pending) {
        put(run, "\n\nOUTPUT TRANSLATION MAP");
        run.reports.map_title_pending = false;
    }
    put(run, "%s", DASHES);
    put(run, "%08lx..%08lx  Page=%d  Memory Width=%d  ROM Width=%d", hex(r.origin), hex(r.end), r.page,
        bits(r.memwidth), bits(r.romwidth));
    if (r.name != "*DEFAULT*")
        put(run, "  \"%s\"", r.name.c_str());
    put(run, "%s", DASHES);

    if (contents.empty()) {
        if (run.options.image)
            write_output_files(run, r);
        else
            put(run, "   NO CONTENTS\n");
        return;
    }
    write_output_files(run, r);
    write_contents(run, r, contents);
}

void close_map_file(Run& run)
{
    if (!run.options.map_file || run.reports.map_closed)
        return;
    run.reports.map_closed = true;
    if (!close_pending(run.pending, run.options.map_file))
        map_write_failed(run);
}

}  // namespace khex
