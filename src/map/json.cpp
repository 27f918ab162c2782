// The map's facts as JSON for programs (-mapjson): the same input always
// gives the same bytes, keys in a fixed order, every number a JSON number.
#include "base/banner.h"
#include "map/reports.h"

namespace khex {

namespace {

// A JSON text with two blanks of indentation per level; a container opened
// inline keeps its members on one line.
class JsonWriter {
public:
    void begin_object(const char* key = nullptr) { open(key, '{'); }
    void end_object() { close('}'); }
    void begin_array(const char* key = nullptr) { open(key, '['); }
    void end_array() { close(']'); }
    void string(const char* key, const std::string& value)
    {
        member(key);
        quoted(value);
    }
    void number(const char* key, uint64_t value)
    {
        member(key);
        text_ += std::to_string(value);
    }
    void signed_number(const char* key, int64_t value)
    {
        member(key);
        text_ += std::to_string(value);
    }
    void null(const char* key)
    {
        member(key);
        text_ += "null";
    }
    void boolean(const char* key, bool value)
    {
        member(key);
        text_ += value ? "true" : "false";
    }
    // Numbers on one line: [1, 0].
    void numbers(const char* key, const std::vector<uint64_t>& values)
    {
        member(key);
        text_ += '[';
        for (size_t i = 0; i < values.size(); ++i)
            text_ += (i ? ", " : "") + std::to_string(values[i]);
        text_ += ']';
    }
    // Texts on one line: ["a", "b"].
    void strings(const char* key, const std::vector<std::string>& values)
    {
        member(key);
        text_ += '[';
        for (size_t i = 0; i < values.size(); ++i) {
            text_ += i ? ", " : "";
            quoted(values[i]);
        }
        text_ += ']';
    }
    void pair(const char* key, uint64_t first, uint64_t second)
    {
        member(key);
        text_ += '[';
        text_ += std::to_string(first);
        text_ += ", ";
        text_ += std::to_string(second);
        text_ += ']';
    }
    const std::string& text() const { return text_; }

private:
    struct Level {
        bool empty = true;
    };

    void member(const char* key)
    {
        if (!levels_.empty()) {
            text_ += levels_.back().empty ? "\n" : ",\n";
            levels_.back().empty = false;
            text_.append(2 * levels_.size(), ' ');
        }
        if (key) {
            quoted(key);
            text_ += ": ";
        }
    }
    void open(const char* key, char bracket)
    {
        member(key);
        text_ += bracket;
        levels_.push_back(Level{});
    }
    void close(char bracket)
    {
        bool empty = levels_.back().empty;
        levels_.pop_back();
        if (!empty) {
            text_ += '\n';
            text_.append(2 * levels_.size(), ' ');
        }
        text_ += bracket;
        if (levels_.empty())
            text_ += '\n';
    }
    // Valid UTF-8 passes as it is; other bytes (names in another code page)
    // are taken as Latin-1, so that a strict parser reads every name.
    void quoted(const std::string& value)
    {
        text_ += '"';
        for (size_t i = 0; i < value.size(); ++i) {
            const unsigned char c = static_cast<unsigned char>(value[i]);
            if (c == '"' || c == '\\') {
                text_ += '\\';
                text_ += static_cast<char>(c);
            } else if (c < 0x20 || (c >= 0x80 && !utf8_sequence(value, i))) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04x", c);
                text_ += escape;
            } else if (c >= 0x80) {
                const size_t n = utf8_length(c);
                text_.append(value, i, n);
                i += n - 1;
            } else {
                text_ += static_cast<char>(c);
            }
        }
        text_ += '"';
    }
    static size_t utf8_length(unsigned char c) { return c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2; }
    static bool utf8_sequence(const std::string& s, size_t i)
    {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0xC2 || c > 0xF4)
            return false;
        const size_t n = utf8_length(c);
        if (i + n > s.size())
            return false;
        for (size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        return true;
    }

    std::string text_;
    std::vector<Level> levels_;
};

const char* kind_name(ContentEntry::Kind kind)
{
    switch (kind) {
    case ContentEntry::FILL: return "fill";
    case ContentEntry::SECTION: return "section";
    case ContentEntry::BOOT_TABLE: return "boot_table";
    case ContentEntry::VALUE: return "value";
    case ContentEntry::BOOT_SECTION: break;
    }
    return "";
}

// An entry as far as it lies inside the range.
struct Extent {
    uint32_t start, end;
};

// The boot table's extent is the bytes it placed in the range.
Extent clipped(const RomRange& r, const ContentEntry& e)
{
    if (e.kind == ContentEntry::BOOT_TABLE)
        return Extent{e.first, e.last};
    return Extent{std::max(e.start, r.origin), std::min(e.end, r.end)};
}

uint64_t size_of(Extent x)
{
    return x.end < x.start ? 0 : uint64_t{x.end - x.start} + 1;
}

void write_records(JsonWriter& json, const ReportFacts& facts, Extent table)
{
    json.begin_array("records");
    for (const BootMark& m : facts.boot_table.marks) {
        if (m.kind != BootMark::SECTION || m.address < table.start || m.address > table.end)
            continue;
        json.begin_object();
        json.string("section", m.spec->name);
        json.number("dest", m.dest);
        json.number("size", m.size);
        json.end_object();
    }
    json.end_array();
}

// A value entry's kind: "checksum", "field", "signature" or "stamp".
const char* value_kind_name(const Value& v)
{
    switch (v.kind) {
    case VALUE_CHECKSUM: return "checksum";
    case VALUE_SIGNATURE: return "signature";
    case VALUE_STAMP: return "stamp";
    default: return "field";
    }
}

// The digests of -digest over the range: what a signer signs.
void write_digests(JsonWriter& json, const ReportFacts& facts, const RomRange& r)
{
    json.begin_array("digests");
    for (const Value& v : facts.values.digests) {
        if (v.range != &r || v.out_name.empty())
            continue;
        json.begin_object();
        json.string("algorithm", v.algorithm.name);
        json.string("bytes", value_hex(v));
        json.number("from", v.from);
        json.number("to", v.to);
        if (v.size != 0)
            json.pair("left_out", v.at, uint64_t{v.at} + v.size - 1);
        else
            json.null("left_out");
        json.string("holes", v.holes == HOLES_SKIP ? "skip" : "fill");
        json.string("out", v.out_name);
        json.string("encoding", v.encoding == DIGEST_RAW ? "raw" : "hex");
        if (!v.message_name.empty())
            json.string("message", v.message_name);
        json.end_object();
    }
    json.end_array();
}

void write_entry(JsonWriter& json, const ReportFacts& facts, const RomRange& r, const ContentEntry& e)
{
    const Extent x = clipped(r, e);
    json.begin_object();
    const bool value = e.kind == ContentEntry::VALUE;
    const bool insert = e.kind == ContentEntry::SECTION && (e.spec->flags & SPEC_INSERT);
    json.string("kind", value ? value_kind_name(*e.value) : insert ? "insert" : kind_name(e.kind));
    switch (e.kind) {
    case ContentEntry::SECTION: json.string("name", e.spec->name); break;
    case ContentEntry::VALUE: json.string("name", value_name(*e.value)); break;
    case ContentEntry::BOOT_TABLE: json.string("name", "boot table"); break;
    default: json.string("name", "fill"); break;
    }
    json.number("start", x.start);
    json.number("end", x.end);
    json.number("size", size_of(x));
    json.boolean("incomplete", e.incomplete || (e.spec && placement_of(facts.placement, *e.spec).incomplete));
    if (e.kind == ContentEntry::BOOT_TABLE)
        write_records(json, facts, x);
    if (value && e.value->kind == VALUE_STAMP) {
        json.string("bytes", value_hex(*e.value));
        if (e.value->stamp_kind == STAMP_NUMBER && e.value->width <= 4)
            json.number("value", value_number(*e.value));
        json.string("given", e.value->stamp_text);
        if (e.value->placeholder)
            json.string("replaces", e.value->placeholder->name);
    } else if (value && e.value->kind == VALUE_SIGNATURE) {
        json.string("bytes", value_hex(*e.value));
        json.boolean("signed", !e.value->signature_name.empty());
        if (!e.value->signature_name.empty())
            json.string("file", e.value->signature_name);
        if (e.value->placeholder)
            json.string("replaces", e.value->placeholder->name);
    } else if (value) {
        // a value of up to 4 bytes is a number too, as it always was
        if (e.value->width <= 4)
            json.number("value", value_number(*e.value));
        json.string("bytes", value_hex(*e.value));
        json.number("from", e.value->from);
        json.number("to", e.value->to);
        if (e.value->placeholder)
            json.string("replaces", e.value->placeholder->name);
    }
    json.end_object();
}

// The offsets in the memory word (0 the lowest target address) of the bytes
// file i carries, in file order, for data of the default width.
void write_word_bytes(JsonWriter& json, const ReportFacts& facts, const RomRange& r, int i)
{
    std::vector<uint64_t> carried;
    for (int k : file_word_bytes(word_arrangement(facts), r, i))
        carried.push_back(static_cast<uint64_t>(k));
    json.numbers("word_bytes", carried);
}

void write_files(JsonWriter& json, const ReportFacts& facts, const RomRange& r)
{
    json.begin_array("files");
    for (const WrittenFile& f : facts.output.written) {
        if (f.base != &r)
            continue;
        // a file of an -also set: the range as the set splits it
        const RomRange& view = *f.range;
        const LaneFacts lane = lane_facts(facts, view, f.file);
        json.begin_object();
        json.string("name", view.files[f.file]);
        json.number("set", static_cast<uint64_t>(f.set));
        json.string("format", facts.output.sets[static_cast<size_t>(f.set)].format->name);
        json.boolean("whole_words", view.romwidth >= view.memwidth);
        json.number("romwidth_bits", static_cast<uint64_t>(bits(view.romwidth)));
        json.pair("lane_bits", static_cast<uint64_t>(lane.carried.first_bit),
                  static_cast<uint64_t>(lane.carried.last_bit));
        write_word_bytes(json, facts, view, f.file);
        json.number("first_address", f.tally.first_address);
        json.number("last_address", f.tally.last_address);
        json.number("data_bytes", f.tally.data_bytes);
        json.number("crc32", f.tally.data_bytes ? tally_crc32(f.tally) : 0);
        json.number("sum32", f.tally.sum32);
        json.end_object();
    }
    json.end_array();
}

void write_range(JsonWriter& json, const ReportFacts& facts, const RangePicture& picture)
{
    const RomRange& r = *picture.range;
    // in image mode a range without data is filled whole, though the map
    // lists no contents for it
    std::vector<ContentEntry> contents = picture.contents;
    if (contents.empty() && facts.options.image)
        contents.push_back({ContentEntry::FILL, r.origin, r.end, nullptr, false, false});
    uint64_t used = 0, fill = 0;
    for (const ContentEntry& e : contents)
        // a slot over a section's bytes is counted with the section
        if (e.kind != ContentEntry::BOOT_SECTION && !(e.kind == ContentEntry::VALUE && e.value->placeholder))
            (e.kind == ContentEntry::FILL ? fill : used) += size_of(clipped(r, e));
    json.begin_object();
    json.string("name", r.name);
    json.signed_number("page", r.page);
    json.number("origin", r.origin);
    json.number("end", r.end);
    json.number("length", r.length);
    json.number("memwidth_bits", static_cast<uint64_t>(bits(r.memwidth)));
    json.number("romwidth_bits", static_cast<uint64_t>(bits(r.romwidth)));
    json.number("fill", r.fill);
    json.number("used_bytes", used);
    json.number("fill_bytes", fill);
    json.number("free_bytes", uint64_t{r.length} - std::min<uint64_t>(r.length, used + fill));
    write_files(json, facts, r);
    json.begin_array("contents");
    for (const ContentEntry& e : contents)
        if (e.kind != ContentEntry::BOOT_SECTION)
            write_entry(json, facts, r, e);
    json.end_array();
    write_digests(json, facts, r);
    json.end_object();
}

void write_unplaced(JsonWriter& json, const ReportFacts& facts)
{
    json.begin_array("unplaced");
    for (const SectionSpec* spec : facts.specs.spec_list) {
        const Placement& p = placement_of(facts.placement, *spec);
        if (spec->section < 0 || p.range)
            continue;
        json.begin_object();
        json.string("name", spec->name);
        json.string("reason", p.unplaced.empty() ? "not placed" : p.unplaced);
        json.end_object();
    }
    json.end_array();
}

// A lot's units: what each has of its own where the common image holds fill,
// and its files.
void write_units(JsonWriter& json, const std::vector<UnitReport>& units)
{
    json.begin_array("units");
    for (const UnitReport& unit : units) {
        json.begin_object();
        json.string("id", unit.id);
        json.number("line", unit.line);
        json.begin_array("values");
        for (const UnitReport::Slot& slot : unit.values) {
            json.begin_object();
            json.string("kind", slot.kind);
            json.number("at", slot.at);
            json.string("bytes", slot.bytes);
            json.end_object();
        }
        json.end_array();
        json.begin_array("files");
        for (const auto& [name, sha] : unit.files) {
            json.begin_object();
            json.string("name", name);
            json.string("sha256", sha);
            json.end_object();
        }
        json.end_array();
        json.end_object();
    }
    json.end_array();
}

// A verify run's pairs: what each compared, its first differences byte by
// byte, every run of them whatever -verifylimit says, and the hints.
void write_verify(JsonWriter& json, const ReportFacts& facts)
{
    const VerifyState& verify = facts.verify;
    json.begin_array("verify");
    for (const VerifyPair& pair : verify.pairs) {
        json.begin_object();
        json.string("output", pair.output);
        json.string("readback", pair.readback.name);
        json.number("bytes", pair.compared);
        json.number("differences", pair.differing);
        if (!pair.readback.note.empty())
            json.string("note", pair.readback.note);
        json.begin_array("runs");
        for (const VerifyRun& run : pair.runs) {
            json.begin_object();
            json.number("first", run.first);
            json.number("last", run.last);
            json.number("cpu", run.cpu);
            json.string("kind", run.kind == VerifyRun::MISSING ? "missing" : "changed");
            json.string("owner", verify.owners[run.owner]);
            json.number("count", run_count(run));
            json.pair("lane_bits", static_cast<uint64_t>(run.bits.first_bit), static_cast<uint64_t>(run.bits.last_bit));
            json.end_object();
        }
        json.end_array();
        json.strings("hints", verify_hints(verify, pair));
        json.begin_array("first");
        for (const VerifyDifference& f : pair.first) {
            json.begin_object();
            json.number("device", f.address);
            json.number("cpu", f.cpu);
            json.pair("lane_bits", static_cast<uint64_t>(f.bits.first_bit), static_cast<uint64_t>(f.bits.last_bit));
            json.string("owner", verify.owners[f.owner]);
            json.number("expected", f.expected);
            if (f.found < 0)
                json.null("found");
            else
                json.number("found", static_cast<uint64_t>(f.found));
            json.end_object();
        }
        json.end_array();
        json.end_object();
    }
    json.end_array();
}

// -sections: what the executable holds, for programs.
std::string listing_text(const ReportFacts& facts)
{
    JsonWriter json;
    json.begin_object();
    json.string("format", "khex-sections");
    json.number("version", 1);
    json.string("khex", PROGRAM_VERSION);
    json.string("input", facts.coff_name);
    json.string("target_byte_order", facts.coff.target_big_endian ? "big" : "little");
    json.number("device", static_cast<uint64_t>(facts.settled.coff_device));
    json.number("entry_point", facts.coff.coff_entry_point);
    json.begin_array("sections");
    for (const SectionLine& line : section_lines(facts)) {
        const SectionHeader& s = *line.section;
        json.begin_object();
        json.string("name", s.name);
        json.number("page", s.s_page);
        json.number("load", listed_load_address(facts.coff, s));
        json.number("run", s.s_vaddr);
        json.number("size", s.s_size);
        json.string("kind", line.kind);
        json.boolean("selected", line.spec != nullptr);
        json.boolean("boot", line.spec && (line.spec->flags & SPEC_BOOT));
        if (line.spec)
            json.number("place", line.spec->paddr);
        else
            json.null("place");
        if (line.range)
            json.string("range", line.range->name);
        else
            json.null("range");
        json.end_object();
    }
    json.end_array();
    if (facts.options.list_symbols) {
        json.begin_array("symbols");
        for (const SymbolRecord* s : symbols_by_address(facts)) {
            json.begin_object();
            json.string("name", s->name);
            json.number("address", s->value);
            json.string("section", symbol_section(facts, *s));
            json.end_object();
        }
        json.end_array();
    }
    json.end_object();
    return json.text();
}

std::string report_text(const ReportFacts& facts)
{
    JsonWriter json;
    json.begin_object();
    json.string("format", "khex-map");
    json.number("version", 1);
    json.string("khex", PROGRAM_VERSION);
    json.string("input", facts.coff_name);
    json.string("output_format", selected_format(facts.options).name);
    json.boolean("image", facts.options.image);
    json.string("byte_order", facts.settled.order == ORDER_MS ? "MS" : "LS");
    json.string("target_byte_order", facts.coff.target_big_endian ? "big" : "little");
    json.begin_array("ranges");
    for (const RangePicture& picture : facts.reports.pictures)
        write_range(json, facts, picture);
    json.end_array();
    write_unplaced(json, facts);
    if (!facts.verify.pairs.empty())
        write_verify(json, facts);
    if (facts.reports.units)
        write_units(json, *facts.reports.units);
    json.number("warnings", static_cast<uint64_t>(facts.diagnostics.warnings));
    json.number("errors", static_cast<uint64_t>(facts.diagnostics.errors));
    json.end_object();
    return json.text();
}

}  // namespace

bool json_text(const ReportFacts& facts, std::string& text)
{
    text = facts.options.list_sections ? listing_text(facts) : report_text(facts);
    return true;
}

}  // namespace khex
