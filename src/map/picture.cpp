// The map's picture (-mapsvg): one self-contained SVG file of the ROM layout,
// a band per memory page with each range as a box, its lane files, and every
// section, boot table part, fill area and gap at its address.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "map/reports.h"

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
SectionRanges ranges_of_sections(const ReportFacts& facts)
{
    SectionRanges held;
    for (const RangePicture& r : facts.reports.pictures)
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
            note += ", continued from " + in[i - 1]->range->name;
        if (i + 1 < in.size())
            note += ", continues in " + in[i + 1]->range->name;
        return note;
    }
    return "";
}

// The parts of the boot tables that lie between first and last.
void add_boot_parts(const ReportFacts& facts, std::vector<Block>& blocks, uint32_t first, uint32_t last)
{
    const std::vector<BootMark>& marks = facts.boot_table.marks;
    for (size_t i = 0; i < marks.size(); ++i) {
        uint32_t start = marks[i].address;
        uint32_t end = i + 1 < marks.size() ? marks[i + 1].address - 1 : facts.boot_table.boot_address - 1;
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

// A range's column, block by block from its origin to its end: what it holds,
// and the gaps between, which in image mode hold the fill value.
struct Column {
    const ReportFacts& facts;
    const RangePicture& r;
    const SectionRanges& held;
    std::vector<Block> blocks;
    uint32_t a;         // the address the column has reached
    bool done = false;  // it reached the top of the address space

    const char* empty() const { return facts.options.image ? "fill" : "gap"; }
    const char* empty_label() const { return facts.options.image ? "fill" : "no data"; }
    void gap_to(uint32_t start)
    {
        if (!done && start > a)
            blocks.push_back({empty(), a, start - 1, empty_label(), false, false, ""});
    }
};

// The table's parts as far as it placed bytes in the range.
void add_boot_table(Column& c, const ContentEntry& e)
{
    const uint32_t first = e.first;
    const uint32_t last = e.last;
    if (last < first)
        return;
    c.gap_to(first);
    size_t from = c.blocks.size();
    add_boot_parts(c.facts, c.blocks, first, last);
    if (c.blocks.size() == from)
        c.blocks.push_back({"boot-section", first, last, "boot table", false, true, ""});
    // the parts begin at the table's own addresses, which fall behind the
    // bytes placed when some of them were dropped: the parts cover the bytes
    c.blocks[from].start = first;
    c.blocks.back().end = last;
    c.blocks[from].incomplete = e.incomplete || boot_table_incomplete(c.facts, nullptr);
}

// The style class of a value's slot: "checksum", "field", "signature" or
// "stamp".
const char* value_class(const Value& v)
{
    switch (v.kind) {
    case VALUE_CHECKSUM: return "checksum";
    case VALUE_SIGNATURE: return "signature";
    case VALUE_STAMP: return "stamp";
    default: return "field";
    }
}

// Adds the blocks of one contents entry; false when it adds none.
bool add_entry(Column& c, const ContentEntry& e)
{
    switch (e.kind) {
    case ContentEntry::FILL:
        if (e.end < c.a)
            return false;
        c.gap_to(e.start);
        c.blocks.push_back({"fill", std::max(e.start, c.a), e.end, "fill", false, false, ""});
        return true;
    case ContentEntry::SECTION:
        // drawn at the end of the run, the picture knows of bytes dropped
        // after the range was closed too
        c.gap_to(e.start);
        c.blocks.push_back({(e.spec->flags & SPEC_INSERT) ? "insert" : "section", e.start, e.end,
                            ((e.spec->flags & SPEC_INSERT) ? "insert " : "") + short_name(e.spec->name),
                            e.incomplete || placement_of(c.facts.placement, *e.spec).incomplete, false,
                            continuation_note(e.spec, c.r, c.held)});
        return true;
    case ContentEntry::BOOT_TABLE: {
        size_t before = c.blocks.size();
        add_boot_table(c, e);
        return c.blocks.size() != before;
    }
    case ContentEntry::BOOT_SECTION:
        return false;  // drawn from the table's own parts
    case ContentEntry::VALUE: {
        const Value& v = *e.value;
        char label[200];
        std::snprintf(label, sizeof label, "%s = %s", value_name(v), value_hex(v).c_str());
        if (v.placeholder) {
            // drawn inside the block of the section whose bytes it replaces
            if (!c.blocks.empty())
                c.blocks.back().note += std::string(", ") + label + " at " + hex8(v.at);
            return false;
        }
        c.gap_to(e.start);
        const bool spanless = v.kind == VALUE_CONSTANT || v.kind == VALUE_SIGNATURE || v.kind == VALUE_STAMP;
        c.blocks.push_back({value_class(v), e.start, e.end, label, false, false,
                            spanless ? "" : ", over " + hex8(v.from) + ".." + hex8(v.to)});
        return true;
    }
    }
    return false;
}

std::vector<Block> blocks_of(const ReportFacts& facts, const RangePicture& r, const SectionRanges& held)
{
    const RomRange& range = *r.range;
    Column c{facts, r, held, {}, range.origin};
    if (r.contents.empty()) {
        c.blocks.push_back({c.empty(), range.origin, range.end, c.empty_label(), false, false, ""});
        return c.blocks;
    }
    for (const ContentEntry& e : r.contents) {
        if (c.done)
            break;
        if (!add_entry(c, e))
            continue;
        const Block& placed = c.blocks.back();
        if (placed.end < placed.start || placed.end == 0xFFFFFFFF)
            c.done = true;  // nothing lies beyond the top of the address space
        else
            c.a = placed.end + 1;
    }
    if (!c.done && c.a <= range.end)
        c.blocks.push_back({c.empty(), c.a, range.end, c.empty_label(), false, false, ""});
    return c.blocks;
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

// The lines of a range's lane files: "code_lo.hex [b0..b7]", with the ROM
// addresses under -romaddr.
std::vector<std::string> lane_lines(const ReportFacts& facts, const RomRange& r)
{
    std::vector<std::string> lines;
    for (int i = 0; i < r.file_count; ++i) {
        const LaneFacts lane = lane_facts(facts, r, i);
        std::string line = r.files[i] + " [b" + std::to_string(lane.carried.first_bit) + "..b" +
                           std::to_string(lane.carried.last_bit) + "]";
        if (lane.device)
            line += ", ROM addresses " + hex8(lane.rom_first) + ".." + hex8(lane.rom_last);
        lines.push_back(line);
    }
    for (const SetView& set : set_views(facts, r)) {
        for (int i = 0; i < set.view->file_count; ++i) {
            const LaneFacts lane = lane_facts(facts, *set.view, i);
            lines.push_back(set.view->files[i] + " [b" + std::to_string(lane.carried.first_bit) + "..b" +
                            std::to_string(lane.carried.last_bit) + "], " + set.format->name);
        }
    }
    return lines;
}

// A boot table's frame around its parts from block i on, with its own title
// row; returns the height of the title row.
int draw_boot_frame(Svg& out, const std::vector<Block>& blocks, const std::vector<int>& heights, size_t i, int y)
{
    const Block& b = blocks[i];
    int frame = LINE + 8;
    size_t last = i;
    for (size_t j = i; j < blocks.size() && blocks[j].in_boot_table; ++j) {
        frame += heights[j];
        last = j;
    }
    out.rect(BAR_X - 8, y, BAR_W + 16, frame, b.incomplete ? "boot-table incomplete" : "boot-table");
    out.text(BAR_X - 2, y + 14, "BOOT TABLE", "boot-title");
    out.text(LABEL_X, y + 14,
             "boot table " + hex8(b.start) + ".." + hex8(blocks[last].end) + " " + size_text(b.start, blocks[last].end) +
                 (b.incomplete ? " INCOMPLETE" : ""),
             "label");
    return LINE + 4;
}

// The column of blocks from y on; returns where it ends.
int draw_blocks(Svg& out, const std::vector<Block>& blocks, const std::vector<int>& heights, int y)
{
    bool in_table = false;
    for (size_t i = 0; i < blocks.size(); ++i) {
        const Block& b = blocks[i];
        if (b.in_boot_table && !in_table)
            y += draw_boot_frame(out, blocks, heights, i, y);
        in_table = b.in_boot_table;
        const bool marked = b.incomplete && !b.in_boot_table;
        out.rect(BAR_X, y, BAR_W, heights[i] - 2, marked ? std::string(b.kind) + " incomplete" : b.kind);
        out.text(BAR_X - 6, y + 11, hex8(b.start), "mono address", "end");
        std::string label = b.label + " " + hex8(b.start) + ".." + hex8(b.end) + " " + size_text(b.start, b.end);
        if (marked)
            label += " INCOMPLETE";
        out.text(LABEL_X, y + 14, label + b.note, "label");
        y += heights[i];
        if (in_table && (i + 1 == blocks.size() || !blocks[i + 1].in_boot_table))
            y += 4;
    }
    return y;
}

void draw_range(Svg& out, const ReportFacts& facts, const RangePicture& picture, const SectionRanges& held)
{
    const RomRange& r = *picture.range;
    const int top = out.y;
    const std::vector<std::string> lanes = lane_lines(facts, r);
    const int lines = 2 + static_cast<int>(lanes.size());
    std::vector<Block> blocks = blocks_of(facts, picture, held);
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
    if (facts.options.image)
        widths += ", fill " + hex8(r.fill).substr(4);
    out.text(RANGE_X + 12, top + 18 + LINE, widths, "mono");
    for (size_t i = 0; i < lanes.size(); ++i)
        out.text(RANGE_X + 24, top + 18 + LINE * static_cast<int>(2 + i), lanes[i], "mono file");

    int y = draw_blocks(out, blocks, heights, top + header + 8);
    out.text(BAR_X - 6, y + 8, hex8(r.end), "mono address", "end");
    out.y = top + height + 12;
}

// Whether the run has values of a style class: their legend entry and style
// appear only then, so that other pictures stay as they were.
bool has_values(const ReportFacts& facts, const char* cls)
{
    for (const Value& v : facts.values.list)
        if (std::strcmp(value_class(v), cls) == 0)
            return true;
    return false;
}

void draw_legend(Svg& out, const ReportFacts& facts, bool inserts)
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
        {"checksum", "checksum slot"},
        {"field", "field slot"},
        {"signature", "signature slot"},
        {"stamp", "unit's stamp"},
        {"insert", "inserted file"},
    };
    int x = 20;
    for (const Swatch& s : swatches) {
        const bool slot = std::strcmp(s.cls, "checksum") == 0 || std::strcmp(s.cls, "field") == 0 ||
                          std::strcmp(s.cls, "signature") == 0 || std::strcmp(s.cls, "stamp") == 0;
        if ((slot && !has_values(facts, s.cls)) || (!inserts && std::strcmp(s.cls, "insert") == 0))
            continue;
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

void draw_unplaced(Svg& out, const ReportFacts& facts, int top)
{
    std::vector<const SectionSpec*> unplaced;
    for (const SectionSpec* spec : facts.specs.spec_list)
        if (spec->section >= 0 && !placement_of(facts.placement, *spec).range)
            unplaced.push_back(spec);
    int height = 34 + LINE * static_cast<int>(unplaced.empty() ? 1 : unplaced.size());
    out.rect(SIDE_X, top, SIDE_W, height, "side");
    out.text(SIDE_X + 10, top + 20, "NOT PLACED", "side-title");
    int y = top + 20 + LINE + 2;
    if (unplaced.empty())
        out.text(SIDE_X + 10, y, "none: every selected section was placed", "legend");
    for (const SectionSpec* spec : unplaced) {
        out.rect(SIDE_X + 10, y - 10, 12, 12, "not-placed");
        out.text(SIDE_X + 28, y, short_name(spec->name) + " (" + std::to_string(section_of(facts.coff, *spec).s_size) +
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

// A band per memory page with its ranges.
void draw_pages(Svg& out, const ReportFacts& facts)
{
    const std::vector<RangePicture>& pictures = facts.reports.pictures;
    std::vector<int32_t> pages;
    for (const RangePicture& r : pictures)
        if (std::find(pages.begin(), pages.end(), r.range->page) == pages.end())
            pages.push_back(r.range->page);
    const auto held = ranges_of_sections(facts);
    for (int32_t page : pages) {
        Svg band;
        band.y = out.y + 30;
        for (const RangePicture& r : pictures)
            if (r.range->page == page)
                draw_range(band, facts, r, held);
        out.rect(PAGE_X, out.y, PAGE_W, band.y - out.y, "page");
        out.text(PAGE_X + 12, out.y + 20, "PAGE " + std::to_string(page), "page-name");
        out.body += band.body;
        out.y = band.y + 14;
    }
}

std::string picture(const ReportFacts& facts)
{
    const std::string& input = facts.coff_name;
    Svg out;
    out.y = 30;
    out.text(20, out.y, "ROM layout of " + input + " (" + selected_format(facts.options).name + ")", "title");
    out.y += 24;
    const bool inserts = !facts.inserts.specs.empty();
    draw_legend(out, facts, inserts);
    const int pages_top = out.y;
    draw_pages(out, facts);
    draw_unplaced(out, facts, pages_top);
    const int height = std::max(out.y, pages_top + 120) + 10;

    std::string svg_text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    svg_text += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(WIDTH) + "\" height=\"" +
                std::to_string(height) + "\" viewBox=\"0 0 " + std::to_string(WIDTH) + " " + std::to_string(height) +
                "\">\n";
    svg_text += "<title>ROM layout of " + escaped(input) + "</title>\n";
    std::string style = STYLE;
    if (has_values(facts, "checksum"))
        style.insert(style.rfind("</style>"), ".checksum { fill: #b5e3b5; stroke: #2e7d32; }\n");
    if (has_values(facts, "field"))
        style.insert(style.rfind("</style>"), ".field { fill: #d7bde2; stroke: #6c3483; }\n");
    if (has_values(facts, "signature"))
        style.insert(style.rfind("</style>"), ".signature { fill: #f9e79f; stroke: #9a7d0a; }\n");
    if (has_values(facts, "stamp"))
        style.insert(style.rfind("</style>"), ".stamp { fill: #f5b7b1; stroke: #943126; }\n");
    if (inserts)
        style.insert(style.rfind("</style>"), ".insert { fill: #a3e4d7; stroke: #117864; }\n");
    svg_text += style;
    svg_text += "<rect x=\"0\" y=\"0\" width=\"" + std::to_string(WIDTH) + "\" height=\"" + std::to_string(height) +
                "\" fill=\"#ffffff\"/>\n";
    svg_text += out.body;
    svg_text += "</svg>\n";
    return svg_text;
}

}  // namespace

bool picture_text(const ReportFacts& facts, std::string& text)
{
    text = picture(facts);
    return true;
}

}  // namespace khex
