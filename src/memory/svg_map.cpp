#include "memory/svg_map.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "boot/table.h"
#include "coff/loader.h"
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

// Layout in pixels. Every block of a range is at least MIN_BLOCK tall, and the
// blocks share SHARED more in proportion to their size: small sections stay
// visible in large ranges.
constexpr int WIDTH = 1000;
constexpr int LINE = 16;
constexpr int MIN_BLOCK = 22;
constexpr int SHARED = 264;
constexpr int PAGE_X = 20, PAGE_W = 690;
constexpr int RANGE_X = 36, RANGE_W = 660;
constexpr int BAR_X = 136, BAR_W = 150;
constexpr int LABEL_X = 300;
constexpr int SIDE_X = 724, SIDE_W = 256;
constexpr size_t NAME_LIMIT = 32;

struct RangePicture {
    std::string name;
    uint32_t origin, end, fill;
    int32_t page;
    int memwidth, romwidth;  // bytes
    std::vector<std::string> lanes;  // "code_lo.hex [b0..b7]", ...
    std::vector<ContentEntry> contents;
};

struct SvgMapState {
    std::vector<RangePicture> ranges;
};
SvgMapState svg;

// One block of a range's column.
struct Block {
    const char* kind;  // CSS class: section, fill, gap, boot-header, boot-section, boot-end
    uint32_t start, end;
    std::string label;
    bool incomplete;
    bool in_boot_table;
    std::string note;  // where a section continues
};

std::string escaped(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string short_name(const std::string& name)
{
    return name.size() <= NAME_LIMIT ? name : name.substr(0, NAME_LIMIT - 3) + "...";
}

std::string hex8(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%08lx", static_cast<unsigned long>(value));
    return text;
}

// Bytes from start to end inclusive (the whole 32-bit space counts 2^32).
uint64_t extent(uint32_t start, uint32_t end)
{
    return uint64_t{end - start} + 1;
}

std::string size_text(uint32_t start, uint32_t end)
{
    std::string text = "(";
    text += std::to_string(extent(start, end));
    return text + " bytes)";
}

struct Svg {
    std::string body;
    int y = 0;

    void attribute(const char* name, const std::string& value)
    {
        body.append(" ").append(name).append("=\"").append(value).append("\"");
    }
    void text(int x, int at, const std::string& content, const char* cls = nullptr, const char* anchor = nullptr)
    {
        body.append("<text");
        attribute("x", std::to_string(x));
        attribute("y", std::to_string(at));
        if (cls)
            attribute("class", cls);
        if (anchor)
            attribute("text-anchor", anchor);
        body.append(">").append(escaped(content)).append("</text>\n");
    }
    void rect(int x, int at, int w, int h, const std::string& cls)
    {
        body += "<rect x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(at) + "\" width=\"" +
                std::to_string(w) + "\" height=\"" + std::to_string(h) + "\" class=\"" + cls + "\"/>\n";
    }
};

// The ranges that hold data of each section, in range order.
using SectionRanges = std::map<const SectionSpec*, std::vector<const RangePicture*>>;

// Where a section's data continues: its first range says so, later ones too.
SectionRanges ranges_of_sections()
{
    SectionRanges held;
    for (const RangePicture& r : svg.ranges)
        for (const ContentEntry& e : r.contents)
            if (e.kind == ContentEntry::SECTION)
                held[e.spec].push_back(&r);
    return held;
}

std::string continuation_note(const SectionSpec* spec, const RangePicture& r,
                              const SectionRanges& held)
{
    const std::vector<const RangePicture*>& in = held.at(spec);
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i] != &r)
            continue;
        std::string note;
        if (i > 0)
            note += ", continued from " + in[i - 1]->name;
        if (i + 1 < in.size())
            note += ", continues in " + in[i + 1]->name;
        return note;
    }
    return "";
}

// The parts of the boot tables that lie between first and last.
void add_boot_parts(std::vector<Block>& blocks, uint32_t first, uint32_t last)
{
    const std::vector<BootMark>& marks = boot_table.marks;
    for (size_t i = 0; i < marks.size(); ++i) {
        uint32_t start = marks[i].address;
        uint32_t end = i + 1 < marks.size() ? marks[i + 1].address - 1 : boot_table.boot_address - 1;
        if (end < start || end < first || start > last)
            continue;
        start = std::max(start, first);
        end = std::min(end, last);
        switch (marks[i].kind) {
        case BootMark::HEADER:
            blocks.push_back({"boot-header", start, end, "table header", false, true, ""});
            break;
        case BootMark::SECTION:
            blocks.push_back({"boot-section", start, end, short_name(marks[i].spec->name), false, true, ""});
            break;
        case BootMark::END_MARKER:
            blocks.push_back({"boot-end", start, end, "end marker", false, true, ""});
            break;
        }
    }
}

// The range's column from its origin to its end: what it holds, and the gaps.
std::vector<Block> blocks_of(const RangePicture& r,
                             const SectionRanges& held)
{
    std::vector<Block> blocks;
    if (r.contents.empty()) {
        if (options.image)
            blocks.push_back({"fill", r.origin, r.end, "fill", false, false, ""});
        else
            blocks.push_back({"gap", r.origin, r.end, "no data", false, false, ""});
        return blocks;
    }
    uint32_t a = r.origin;
    bool done = false;
    // in image mode every address without data holds the fill value
    const char* empty = options.image ? "fill" : "gap";
    const char* empty_label = options.image ? "fill" : "no data";
    auto gap_to = [&](uint32_t start) {
        if (!done && start > a)
            blocks.push_back({empty, a, start - 1, empty_label, false, false, ""});
    };
    for (const ContentEntry& e : r.contents) {
        if (done)
            break;
        switch (e.kind) {
        case ContentEntry::FILL:
            if (e.end < a)
                continue;
            gap_to(e.start);
            blocks.push_back({"fill", std::max(e.start, a), e.end, "fill", false, false, ""});
            break;
        case ContentEntry::SECTION:
            // drawn at the end of the run, the picture knows of bytes dropped
            // after the range was closed too
            gap_to(e.start);
            blocks.push_back({"section", e.start, e.end, short_name(e.spec->name),
                              e.incomplete || (e.spec->flags & SPEC_INCOMPLETE), false,
                              continuation_note(e.spec, r, held)});
            break;
        case ContentEntry::BOOT_TABLE: {
            uint32_t first = std::max(e.start, r.origin);
            uint32_t last = std::min(e.end, r.end);
            if (last < first)
                continue;
            gap_to(first);
            size_t from = blocks.size();
            add_boot_parts(blocks, first, last);
            if (blocks.size() == from)
                blocks.push_back({"boot-section", first, last, "boot table", false, true, ""});
            bool incomplete = e.incomplete;
            for (const SectionSpec* spec : specs.spec_list)
                incomplete |= (spec->flags & SPEC_BOOT) && (spec->flags & SPEC_INCOMPLETE);
            blocks[from].incomplete = incomplete;
            break;
        }
        case ContentEntry::BOOT_SECTION:
            continue;  // drawn from the table's own parts
        }
        const Block& placed = blocks.back();
        if (placed.end < placed.start || placed.end == 0xFFFFFFFF)
            done = true;  // nothing lies beyond the top of the address space
        else
            a = placed.end + 1;
    }
    if (!done && a <= r.end)
        blocks.push_back({empty, a, r.end, empty_label, false, false, ""});
    return blocks;
}

std::vector<int> heights_of(const std::vector<Block>& blocks)
{
    uint64_t total = 0;
    for (const Block& b : blocks)
        total += extent(b.start, b.end);
    std::vector<int> heights;
    for (const Block& b : blocks)
        heights.push_back(MIN_BLOCK + static_cast<int>(SHARED * extent(b.start, b.end) / (total ? total : 1)));
    return heights;
}

void draw_range(Svg& out, const RangePicture& r,
                const SectionRanges& held)
{
    const int top = out.y;
    const int lines = 2 + static_cast<int>(r.lanes.size());
    std::vector<Block> blocks = blocks_of(r, held);
    std::vector<int> heights = heights_of(blocks);
    int column = 0;
    for (int h : heights)
        column += h;
    int frames = 0;  // boot tables: each adds a title row and a margin
    for (size_t i = 0; i < blocks.size(); ++i)
        frames += blocks[i].in_boot_table && (i == 0 || !blocks[i - 1].in_boot_table);
    const int header = 14 + lines * LINE;
    const int height = header + column + frames * (LINE + 8) + 28;
    out.rect(RANGE_X, top, RANGE_W, height, "range");
    out.text(RANGE_X + 12, top + 18, r.name, "range-name");
    std::string widths = hex8(r.origin) + ".." + hex8(r.end) + ", memory width " + std::to_string(bits(r.memwidth)) +
                         " bits, ROM width " + std::to_string(bits(r.romwidth)) + " bits";
    if (options.image)
        widths += ", fill " + hex8(r.fill).substr(4);
    out.text(RANGE_X + 12, top + 18 + LINE, widths, "mono");
    for (size_t i = 0; i < r.lanes.size(); ++i)
        out.text(RANGE_X + 24, top + 18 + LINE * static_cast<int>(2 + i), r.lanes[i], "mono file");

    int y = top + header + 8;
    bool in_table = false;
    for (size_t i = 0; i < blocks.size(); ++i) {
        const Block& b = blocks[i];
        if (b.in_boot_table && !in_table) {
            // the table's frame around its parts, with its own title row
            int frame = LINE + 8;
            size_t last = i;
            for (size_t j = i; j < blocks.size() && blocks[j].in_boot_table; ++j) {
                frame += heights[j];
                last = j;
            }
            out.rect(BAR_X - 8, y, BAR_W + 16, frame, b.incomplete ? "boot-table incomplete" : "boot-table");
            out.text(BAR_X - 2, y + 14, "BOOT TABLE", "boot-title");
            out.text(LABEL_X, y + 14,
                     "boot table " + hex8(b.start) + ".." + hex8(blocks[last].end) + " " +
                         size_text(b.start, blocks[last].end) + (b.incomplete ? " INCOMPLETE" : ""),
                     "label");
            y += LINE + 4;
        }
        in_table = b.in_boot_table;
        std::string cls = b.kind;
        if (b.incomplete && !b.in_boot_table)
            cls += " incomplete";
        out.rect(BAR_X, y, BAR_W, heights[i] - 2, cls);
        out.text(BAR_X - 6, y + 11, hex8(b.start), "mono address", "end");
        std::string label = b.label + " " + hex8(b.start) + ".." + hex8(b.end) + " " + size_text(b.start, b.end);
        if (b.incomplete && !b.in_boot_table)
            label += " INCOMPLETE";
        out.text(LABEL_X, y + 14, label + b.note, "label");
        y += heights[i];
        if (in_table && (i + 1 == blocks.size() || !blocks[i + 1].in_boot_table))
            y += 4;
    }
    out.text(BAR_X - 6, y + 8, hex8(r.end), "mono address", "end");
    out.y = top + height + 12;
}

void draw_legend(Svg& out)
{
    struct Swatch {
        const char* cls;
        const char* meaning;
    };
    const Swatch swatches[] = {
        {"section", "section"},
        {"boot-header", "boot table header / end marker"},
        {"boot-section", "boot section record and bytes"},
        {"fill", "image fill"},
        {"gap", "no data (gap)"},
        {"section incomplete", "incomplete: some bytes not placed"},
    };
    int x = 20;
    for (const Swatch& s : swatches) {
        out.rect(x, out.y, 18, 12, s.cls);
        out.text(x + 24, out.y + 11, s.meaning, "legend");
        x += 24 + 7 * static_cast<int>(std::strlen(s.meaning)) + 18;
        if (x > WIDTH - 160) {
            x = 20;
            out.y += 20;
        }
    }
    out.y += 28;
    out.text(20, out.y,
             "Scale: within each range every block is at least " + std::to_string(MIN_BLOCK) +
                 " px tall and the blocks share " + std::to_string(SHARED) +
                 " px more in proportion to their size in bytes.",
             "legend");
    out.y += LINE;
    out.text(20, out.y,
             "Addresses are hexadecimal byte addresses: each block's first address on its upper edge, the range's "
             "last address under it.",
             "legend");
    out.y += 24;
}

void draw_unplaced(Svg& out, int top)
{
    std::vector<const SectionSpec*> unplaced;
    for (const SectionSpec* spec : specs.spec_list)
        if (spec->section >= 0 && !spec->range)
            unplaced.push_back(spec);
    int height = 34 + LINE * static_cast<int>(unplaced.empty() ? 1 : unplaced.size());
    out.rect(SIDE_X, top, SIDE_W, height, "side");
    out.text(SIDE_X + 10, top + 20, "NOT PLACED", "side-title");
    int y = top + 20 + LINE + 2;
    if (unplaced.empty())
        out.text(SIDE_X + 10, y, "none: every selected section was placed", "legend");
    for (const SectionSpec* spec : unplaced) {
        out.rect(SIDE_X + 10, y - 10, 12, 12, "not-placed");
        out.text(SIDE_X + 28, y, short_name(spec->name) + " (" + std::to_string(coff.sections[spec->section].s_size) +
                                     " bytes at " + hex8(spec->paddr) + ")",
                 "not-placed-name");
        y += LINE;
    }
}

const char STYLE[] =
    "<style>\n"
    "text { font-family: DejaVu Sans, Arial, Helvetica, sans-serif; font-size: 12px; fill: #222222; }\n"
    ".mono { font-family: DejaVu Sans Mono, Consolas, Courier New, monospace; font-size: 11px; }\n"
    ".title { font-size: 17px; font-weight: bold; }\n"
    ".range-name, .page-name, .side-title, .boot-title { font-weight: bold; }\n"
    ".legend { font-size: 11px; fill: #444444; }\n"
    ".page { fill: #f3f3f3; stroke: #9a9a9a; }\n"
    ".range { fill: #ffffff; stroke: #555555; }\n"
    ".side { fill: #fff6f6; stroke: #c00000; }\n"
    ".section { fill: #8fb8de; stroke: #2b5f8c; }\n"
    ".boot-table { fill: #fdebd0; stroke: #b26b00; }\n"
    ".boot-header, .boot-end { fill: #f5b041; stroke: #b26b00; }\n"
    ".boot-section { fill: #f8c471; stroke: #b26b00; }\n"
    ".fill { fill: #d5d5d5; stroke: #8a8a8a; }\n"
    ".gap { fill: #ffffff; stroke: #b0b0b0; stroke-dasharray: 4 3; }\n"
    ".incomplete { stroke: #c00000; stroke-width: 2.5; stroke-dasharray: 6 3; }\n"
    ".not-placed { fill: #c00000; }\n"
    "</style>\n";

std::string picture()
{
    Svg out;
    out.y = 30;
    out.text(20, out.y, "ROM layout of " + input.coff_name + " (" + selected_format().name + ")", "title");
    out.y += 24;
    draw_legend(out);
    const int pages_top = out.y;

    std::vector<int32_t> pages;
    for (const RangePicture& r : svg.ranges)
        if (std::find(pages.begin(), pages.end(), r.page) == pages.end())
            pages.push_back(r.page);
    const auto held = ranges_of_sections();
    for (int32_t page : pages) {
        Svg band;
        band.y = out.y + 30;
        for (const RangePicture& r : svg.ranges)
            if (r.page == page)
                draw_range(band, r, held);
        out.rect(PAGE_X, out.y, PAGE_W, band.y - out.y, "page");
        out.text(PAGE_X + 12, out.y + 20, "PAGE " + std::to_string(page), "page-name");
        out.body += band.body;
        out.y = band.y + 14;
    }
    draw_unplaced(out, pages_top);
    const int height = std::max(out.y, pages_top + 120) + 10;

    std::string svg_text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    svg_text += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(WIDTH) + "\" height=\"" +
                std::to_string(height) + "\" viewBox=\"0 0 " + std::to_string(WIDTH) + " " + std::to_string(height) +
                "\">\n";
    svg_text += "<title>ROM layout of " + escaped(input.coff_name) + "</title>\n";
    svg_text += STYLE;
    svg_text += "<rect x=\"0\" y=\"0\" width=\"" + std::to_string(WIDTH) + "\" height=\"" + std::to_string(height) +
                "\" fill=\"#ffffff\"/>\n";
    svg_text += out.body;
    svg_text += "</svg>\n";
    return svg_text;
}

[[noreturn]] void svg_write_failed()
{
    fatal("error writing map file '%s': %s", options.svg_name.c_str(), std::strerror(errno));
}

}  // namespace

void reset_svg_map()
{
    svg = SvgMapState{};
}

void svg_map_range(const RomRange& r, const std::vector<ContentEntry>& contents)
{
    RangePicture picture{r.name, r.origin, r.end, r.fill, r.page, r.memwidth, r.romwidth, {}, contents};
    for (int i = 0; i < r.file_count; ++i) {
        std::string lane = r.files[i] + " [b" + std::to_string(i * bits(r.romwidth)) + "..b" +
                           std::to_string((i + 1) * bits(r.romwidth) - 1) + "]";
        if (device_addressing(r))
            lane += ", ROM addresses " + hex8(device_address(r, r.origin)) + ".." +
                    hex8(device_address(r, r.end) + static_cast<uint32_t>(r.romwidth) - 1);
        picture.lanes.push_back(lane);
    }
    svg.ranges.push_back(std::move(picture));
}

void write_svg_map()
{
    FILE* file = options.svg_file;
    if (!file)
        return;
    std::string text = picture();
    options.svg_file = nullptr;
    bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    if (!close_pending(file) || !written)
        svg_write_failed();
}

}  // namespace khex
