#include "memory/map.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <vector>

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

void write_contents(const RomRange& r, const std::vector<ContentEntry>& contents)
{
    put("\n   CONTENTS: ");
    for (size_t i = 0; i < contents.size(); ++i) {
        const ContentEntry& e = contents[i];
        if (i > 0)
            put("%s", CONTINUATION);
        switch (e.kind) {
        case ContentEntry::FILL:
            put("%08lx..%08lx   FILL = %08lx\n", hex(e.start), hex(e.end), hex(r.fill));
            break;
        case ContentEntry::SECTION:
            put("%08lx..%08lx   %s%s\n", hex(e.start), hex(e.end), e.spec->name.c_str(),
                e.incomplete ? " (INCOMPLETE)" : "");
            break;
        case ContentEntry::BOOT_TABLE:
            put("%08lx..%08lx   BOOT TABLE%s\n", hex(e.start), hex(e.end), e.incomplete ? " (INCOMPLETE)" : "");
            break;
        case ContentEntry::BOOT_SECTION:
            put(" %19s : ", e.spec->name.c_str());
            if (e.continued)
                put("(continued)\n");
            else
                put("dest=%08lx  size=%08lx  width=%08dx\n", hex(section_of(e.spec).s_vaddr),
                    hex(section_of(e.spec).s_size), e.spec->datawidth);
            break;
        }
    }
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

void write_map_range(const std::vector<ContentEntry>& contents)
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

    if (contents.empty()) {
        if (options.image)
            write_output_files(r);
        else
            put("   NO CONTENTS\n");
        return;
    }
    write_output_files(r);
    write_contents(r, contents);
}

void close_map_file()
{
    FILE* file = options.map_file;
    options.map_file = nullptr;
    if (file && !close_pending(file))
        map_write_failed();
}

}  // namespace khex
