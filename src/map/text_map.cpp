// The map file: a header with the conversion's parameters, then one entry per
// ROM range in the order they were closed.
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <vector>

#include "base/banner.h"
#include "map/reports.h"
#include "output/formats.h"

namespace khex {

namespace {

const char STARS[] = "********************************************************************************\n";
const char DASHES[] = "\n--------------------------------------------------------------------------------\n";
const char CONTINUATION[] = "             ";  // 13 blanks under "   CONTENTS: "

// The map's text as it is made.
struct MapText {
    const ReportFacts& facts;
    std::string text;
};

[[gnu::format(printf, 2, 3)]] void put(MapText& map, const char* format, ...)
{
    char line[512];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (n < 0)
        return;
    if (static_cast<size_t>(n) < sizeof line) {
        map.text.append(line, static_cast<size_t>(n));
        return;
    }
    std::string longer(static_cast<size_t>(n) + 1, '\0');  // a long section or file name
    va_start(args, format);
    std::vsnprintf(longer.data(), longer.size(), format, args);
    va_end(args);
    map.text.append(longer, 0, static_cast<size_t>(n));
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

void write_output_files(MapText& map, const RomRange& r)
{
    put(map, "   OUTPUT FILES: ");
    for (int i = 0; i < r.file_count; ++i) {
        if (i > 0)
            put(map, "                 ");
        const LaneFacts lane = lane_facts(map.facts, r, i);
        put(map, "%s [b%d..b%d]", r.files[i].c_str(), lane.first_bit, lane.last_bit);
        if (lane.device)
            put(map, "  ROM addresses %08lx..%08lx", hex(lane.rom_first), hex(lane.rom_last));
        put(map, "\n");
    }
    // the files of -also sets, with the bits each carries and its format
    for (const SetView& set : set_views(map.facts, r)) {
        for (int i = 0; i < set.view->file_count; ++i) {
            const LaneFacts lane = lane_facts(map.facts, *set.view, i);
            put(map, "                 %s [b%d..b%d]  %s", set.view->files[i].c_str(), lane.carried.first_bit,
                lane.carried.last_bit, set.format->name);
            if (lane.device && !set.format->device_words)
                put(map, "  ROM addresses %08lx..%08lx", hex(lane.rom_first), hex(lane.rom_last));
            put(map, "\n");
        }
    }
}

// "CHECKSUM crc32 = 1234abcd over ...", "FIELD length = 00001f40 over ...",
// "STAMP number = 0001" or "SIGNATURE = 3045... from sig.der"; a constant
// and a stamp have no span to name.
void write_value(MapText& map, const ContentEntry& e)
{
    const Value& v = *e.value;
    if (v.kind == VALUE_SIGNATURE) {
        put(map, "%08lx..%08lx   SIGNATURE = %s", hex(e.start), hex(e.end), value_hex(v).c_str());
        if (v.signature_name.empty())
            put(map, ", unsigned: fill");
        else
            put(map, " from %s", v.signature_name.c_str());
    } else {
        const char* word = v.kind == VALUE_CHECKSUM ? "CHECKSUM" : v.kind == VALUE_STAMP ? "STAMP" : "FIELD";
        put(map, "%08lx..%08lx   %s %s = %s", hex(e.start), hex(e.end), word, value_name(v), value_hex(v).c_str());
    }
    if (v.kind != VALUE_CONSTANT && v.kind != VALUE_SIGNATURE && v.kind != VALUE_STAMP)
        put(map, " over %08lx..%08lx", hex(v.from), hex(v.to));
    if (v.placeholder)
        put(map, ", in place of bytes of %s", v.placeholder->name.c_str());
    if (v.blank)
        put(map, ", each unit's in the lot's deltas: fill here");
    put(map, "\n");
}

void write_contents(MapText& map, const RomRange& r, const std::vector<ContentEntry>& contents)
{
    put(map, "\n   CONTENTS: ");
    for (size_t i = 0; i < contents.size(); ++i) {
        const ContentEntry& e = contents[i];
        if (i > 0)
            put(map, "%s", CONTINUATION);
        switch (e.kind) {
        case ContentEntry::FILL:
            put(map, "%08lx..%08lx   FILL = %08lx\n", hex(e.start), hex(e.end), hex(r.fill));
            break;
        case ContentEntry::SECTION:
            put(map, "%08lx..%08lx   %s%s%s\n", hex(e.start), hex(e.end),
                (e.spec->flags & SPEC_INSERT) ? "INSERT " : "", e.spec->name.c_str(), e.incomplete ? " (INCOMPLETE)" : "");
            break;
        case ContentEntry::VALUE:
            write_value(map, e);
            break;
        case ContentEntry::BOOT_TABLE:
            put(map, "%08lx..%08lx   BOOT TABLE%s\n", hex(e.start), hex(e.end), e.incomplete ? " (INCOMPLETE)" : "");
            break;
        case ContentEntry::BOOT_SECTION:
            put(map, " %19s : ", e.spec->name.c_str());
            if (e.continued)
                put(map, "(continued)\n");
            else
                put(map, "dest=%08lx  size=%08lx  width=%08dx\n", hex(section_of(map.facts.coff, *e.spec).s_vaddr),
                    hex(section_of(map.facts.coff, *e.spec).s_size), e.spec->datawidth);
            break;
        }
    }
}

void write_map_header(MapText& map)
{
    const ConvOptions& options = map.facts.options;
    const Settled& settled = map.facts.settled;
    put(map, "%s", STARS);
    put(map, "%-*s %s\n", 79 - static_cast<int>(std::strlen(BANNER_VERSION)), BANNER_TITLE, BANNER_VERSION);
    put(map, "%s", STARS);
    put(map, "\nINPUT FILE NAME: <%s>\n", map.facts.coff_name.c_str());
    if (map.facts.coff.elf && options.addrunit == 16)
        put(map, "ADDRESS UNIT:    16-bit words (the ELF file's addresses doubled)\n");
    put(map, "OUTPUT FORMAT:   %s\n", selected_format(options).name);
    put(map, "\nPHYSICAL MEMORY PARAMETERS\n");
    put(map, "   Default data width   :  %2d\n", bits(options.datawidth));
    put(map, "   Default memory width :  %2d", bits(options.memwidth));
    if (options.datawidth > options.memwidth)
        put(map, "%s", settled.order == ORDER_MS ? " (MS-->LS)" : " (LS-->MS)");
    put(map, "\n");
    put(map, "   Default output width :  %2d\n", bits(options.romwidth));

    if (!boot_sections_selected(map.facts.specs))
        return;
    put(map, "\nBOOT LOADER PARAMETERS\n");
    if (options.boot.mode == BOOT_MODE_NONE)
        put(map, "   Table Address:\t  0x%08lx, PAGE %d\n", hex(settled.bootorg), settled.bootpage);
    else
        put(map, "   Table Type:\t\t%s%s\n", port_text(options.boot.port), mode_text(options.boot.mode));
    put(map, "   Entry Point:\t\t  0x%08lx", hex(settled.entry_address));
    if (options.has_entry_symbol)
        put(map, "  (%s)", options.entry_symbol.c_str());
    put(map, "\n");
}

// "DIGEST sha256 = ... over ..., less the signature's slot, to FILE": what
// a signer signs of the range.
void write_digests(MapText& map, const RomRange& r)
{
    for (const Value& v : map.facts.values.digests) {
        if (v.range != &r || v.out_name.empty())
            continue;
        put(map, "\n   DIGEST:   %s = %s\n%sover %08lx..%08lx", v.algorithm.name, value_hex(v).c_str(), CONTINUATION,
            hex(v.from), hex(v.to));
        if (v.size != 0)
            put(map, " less %08lx..%08lx", hex(v.at), hex(v.at + v.size - 1));
        put(map, "\n%sto %s\n", CONTINUATION, v.out_name.c_str());
    }
}

// The map entry of a range, with what it holds.
void write_map_range(MapText& map, const RomRange& r, const std::vector<ContentEntry>& contents)
{
    put(map, "%s", DASHES);
    put(map, "%08lx..%08lx  Page=%d  Memory Width=%d  ROM Width=%d", hex(r.origin), hex(r.end), r.page,
        bits(r.memwidth), bits(r.romwidth));
    if (r.name != "*DEFAULT*")
        put(map, "  \"%s\"", r.name.c_str());
    put(map, "%s", DASHES);

    if (contents.empty()) {
        if (map.facts.options.image)
            write_output_files(map, r);
        else
            put(map, "   NO CONTENTS\n");
    } else {
        write_output_files(map, r);
        write_contents(map, r, contents);
    }
    write_digests(map, r);
}

}  // namespace

// The header (when the COFF file has symbols, after whose pass it was always
// written), then one entry per range in the order they were closed.
bool map_text(const ReportFacts& facts, std::string& text)
{
    MapText map{facts, {}};
    if (facts.coff.symbol_count != 0)
        write_map_header(map);
    for (size_t i = 0; i < facts.reports.pictures.size(); ++i) {
        if (i == 0)
            put(map, "\n\nOUTPUT TRANSLATION MAP");
        write_map_range(map, *facts.reports.pictures[i].range, facts.reports.pictures[i].contents);
    }
    text = std::move(map.text);
    return true;
}

}  // namespace khex
