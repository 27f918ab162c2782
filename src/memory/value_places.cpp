#include "memory/value_places.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <functional>

#include "cmdfile/lexer.h"

namespace khex {

namespace {

unsigned long hex(uint64_t value)
{
    return static_cast<unsigned long>(value);
}

uint64_t slot_end(const Value& v)
{
    return uint64_t{v.at} + v.size - 1;
}

bool symbol_character(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$' ||
           c == '.';
}

// Where a symbol stands: a section's bytes where they are placed, or its
// value; false after an ERROR.
bool symbol_address(Diagnostics& d, const Value& v, const SymbolSource& source, const std::string& name,
                    int64_t& address)
{
    const SymbolRecord* symbol = find_symbol(source.symbols, name.c_str());
    if (!symbol) {
        refuse(d, v, "no symbol '%s' in %s", name.c_str(), source.coff_name.c_str());
        return false;
    }
    const int section = symbol->section - 1;
    if (section < 0 || section >= static_cast<int>(source.coff.sections.size())) {
        address = symbol->value;  // absolute, or of no section
        return true;
    }
    for (const SectionSpec* spec : source.specs.spec_list) {
        if (spec->section != section)
            continue;
        if (spec->flags & SPEC_BOOT) {
            refuse(d, v, "symbol '%s' is in the boot-loaded section '%s', which has no address of its own in the ROM",
                   name.c_str(), spec->name.c_str());
            return false;
        }
        address = int64_t{spec->paddr} + symbol->value - section_of(source.coff, *spec).s_vaddr;
        return true;
    }
    refuse(d, v, "symbol '%s' is in section '%s', which is not converted", name.c_str(),
           source.coff.sections[static_cast<size_t>(section)].name.c_str());
    return false;
}

}  // namespace

bool resolve_value_address(Diagnostics& d, const Value& v, const SymbolSource* source, const AddressText& text,
                           uint32_t& address)
{
    if (text.symbol.empty()) {
        address = static_cast<uint32_t>(text.number);
        return true;
    }
    int64_t base = 0;
    if (!symbol_address(d, v, *source, text.symbol, base))
        return false;
    const int64_t at = base + text.number;
    const RomRange& r = *v.range;
    if (at < r.origin || at > r.end) {
        refuse(d, v, "symbol '%s' puts 0x%llx outside range '%s' (0x%08lx..0x%08lx)", text.symbol.c_str(),
               static_cast<unsigned long long>(at), r.name.c_str(), hex(r.origin), hex(r.end));
        return false;
    }
    address = static_cast<uint32_t>(at);
    return true;
}

namespace {

// The slot: the value's bytes in whole memory words of the range, from at=
// (which must start a word) or in the range's last whole words.
bool place_slot(Diagnostics& d, Value& v, const SymbolSource* source)
{
    const RomRange& r = *v.range;
    const uint64_t memwidth = static_cast<uint64_t>(r.memwidth);
    v.size = static_cast<uint32_t>((uint64_t{v.width} + memwidth - 1) / memwidth * memwidth);
    if (!v.at_text.given) {
        const uint64_t whole = uint64_t{r.length} / memwidth * memwidth;
        if (whole < v.size) {
            refuse(d, v, "range '%s' is too short for a slot of %lu bytes", r.name.c_str(), hex(v.size));
            return false;
        }
        v.at = static_cast<uint32_t>(r.origin + whole - v.size);
        return true;
    }
    if (!resolve_value_address(d, v, source, v.at_text, v.at))
        return false;
    if (v.at < r.origin || slot_end(v) > r.end) {
        refuse(d, v, "slot 0x%08lx..0x%08lx lies outside range '%s' (0x%08lx..0x%08lx)", hex(v.at), hex(slot_end(v)),
               r.name.c_str(), hex(r.origin), hex(r.end));
        return false;
    }
    if ((v.at - r.origin) % memwidth != 0) {
        refuse(d, v, "slot at 0x%08lx does not start a memory word of range '%s'", hex(v.at), r.name.c_str());
        return false;
    }
    return true;
}

// The span: from= and to=, by default from the range's origin to the byte
// before the slot (from the byte after a slot at the origin to the range's
// end); a field's, the whole range.
bool place_span(Diagnostics& d, Value& v, const SymbolSource* source)
{
    const RomRange& r = *v.range;
    const bool whole_range = v.kind != VALUE_CHECKSUM || v.at == r.origin;
    v.from = r.origin;
    v.to = r.end;
    if (!whole_range)
        v.to = v.at - 1;
    else if (v.kind == VALUE_CHECKSUM)
        v.from = slot_end(v) >= r.end ? r.end : static_cast<uint32_t>(slot_end(v) + 1);
    if ((v.from_text.given && !resolve_value_address(d, v, source, v.from_text, v.from)) ||
        (v.to_text.given && !resolve_value_address(d, v, source, v.to_text, v.to)))
        return false;
    if (v.from < r.origin || v.to > r.end) {
        refuse(d, v, "span 0x%08lx..0x%08lx does not lie inside range '%s' (0x%08lx..0x%08lx)", hex(v.from),
               hex(v.to), r.name.c_str(), hex(r.origin), hex(r.end));
        return false;
    }
    if (v.from > v.to && v.to_text.given) {
        refuse(d, v, "to= 0x%lx is before from= 0x%lx", hex(v.to), hex(v.from));
        return false;
    }
    if (v.from > v.to) {
        refuse(d, v, "the default to= of a slot at 0x%lx is the byte before it, which is before from= 0x%lx: give to=",
               hex(v.at), hex(v.from));
        return false;
    }
    return true;
}

// A slot that a symbol names may lie over the data of the section that
// reserved it: wholly inside that one section, whose bytes it replaces. Over
// any other section's data (an offset past the symbol's own section, a
// symbol of another page or of none) it is refused, as a number is.
bool find_placeholder(Diagnostics& d, Value& v, const SymbolSource& source)
{
    const RomRange& r = *v.range;
    const SymbolRecord* symbol = find_symbol(source.symbols, v.at_text.symbol.c_str());
    const int own = symbol ? symbol->section - 1 : -1;
    for (const SectionSpec* spec : source.specs.spec_list) {
        if (spec->section < 0 || (spec->flags & (SPEC_BOOT | SPEC_CINIT)) || spec->page != r.page)
            continue;
        const uint64_t first = spec->paddr;
        const uint64_t last = first + section_of(source.coff, *spec).s_size - 1;
        if (section_of(source.coff, *spec).s_size == 0 || last < v.at || first > slot_end(v))
            continue;
        if (spec->section != own) {
            const std::string whose = own >= 0 && own < static_cast<int>(source.coff.sections.size())
                                          ? "section '" + source.coff.sections[static_cast<size_t>(own)].name + "'"
                                          : "no section";
            refuse(d, v, "slot 0x%08lx..0x%08lx lies over section '%s' (0x%08lx..0x%08lx), but symbol '%s' is of %s",
                   hex(v.at), hex(slot_end(v)), spec->name.c_str(), hex(first), hex(last), v.at_text.symbol.c_str(),
                   whose.c_str());
            return false;
        }
        if (first > v.at || last < slot_end(v)) {
            refuse(d, v, "slot 0x%08lx..0x%08lx lies partly over section '%s' (0x%08lx..0x%08lx)", hex(v.at),
                   hex(slot_end(v)), spec->name.c_str(), hex(first), hex(last));
            return false;
        }
        v.placeholder = spec;
        return true;
    }
    return true;
}

bool slot_order(const Value& a, const Value& b)
{
    if (a.placed != b.placed)
        return a.placed;
    if (a.range->index != b.range->index)
        return a.range->index < b.range->index;
    return a.at < b.at;
}

// Whether a's span covers b's slot, so that a's value depends on b's.
bool covers(const Value& a, const Value& b)
{
    return &a != &b && a.kind == VALUE_CHECKSUM && a.range == b.range && a.from <= slot_end(b) && a.to >= b.at;
}

// The checksums whose spans cover one another's slots in a loop: each group
// of them is an ERROR naming them.
bool refuse_loops(ValueState& values, Diagnostics& d)
{
    const size_t n = values.list.size();
    // reach[i][j]: i depends on j, directly or through others
    std::vector<std::vector<bool>> reach(n, std::vector<bool>(n));
    for (size_t i = 0; i < n; ++i)
        for (size_t j = 0; j < n; ++j)
            reach[i][j] = covers(values.list[i], values.list[j]);
    for (size_t k = 0; k < n; ++k)
        for (size_t i = 0; i < n; ++i)
            for (size_t j = 0; j < n && reach[i][k]; ++j)
                reach[i][j] = reach[i][j] || reach[k][j];
    bool ok = true;
    std::vector<bool> named(n);
    for (size_t i = 0; i < n; ++i) {
        if (named[i] || !reach[i][i])
            continue;
        std::vector<size_t> loop;
        for (size_t j = i; j < n; ++j)
            if (reach[i][j] && reach[j][i])
                loop.push_back(j), named[j] = true;
        std::string names;
        for (size_t k = 0; k < loop.size(); ++k)
            names += (k == 0 ? "'" : k + 1 == loop.size() ? " and '" : ", '") + values.list[loop[k]].text + "'";
        report(d, SEVERITY_ERROR, "checksums %s cover one another's slots in a loop", names.c_str());
        ok = false;
    }
    return ok;
}

// A signature's bytes for its whole slot: the file's, then the range's fill
// as the target reads it; fill alone without a file.
void fill_signature(Value& s, bool big_endian)
{
    const RomRange& r = *s.range;
    const uint8_t even = static_cast<uint8_t>(big_endian ? r.fill >> 8 : r.fill);
    const uint8_t odd = static_cast<uint8_t>(big_endian ? r.fill : r.fill >> 8);
    s.bytes = s.signature;
    s.bytes.resize(s.size);
    for (size_t i = s.signature.size(); i < s.size; ++i)
        s.bytes[i] = ((s.at + i - r.origin) & 1) ? odd : even;
}

// Stamps, and every value whose span covers a per-unit slot, directly or
// through other values; with blank_per_unit their slots hold fill.
void mark_per_unit_values(ValueState& values, bool big_endian)
{
    std::vector<Value>& list = values.list;
    for (Value& v : list)
        v.per_unit = v.kind == VALUE_STAMP;
    auto spans = [](const Value& v, const Value& slot) {
        const bool over_data = v.kind == VALUE_CHECKSUM || v.kind == VALUE_LENGTH || v.kind == VALUE_FIRST ||
                               v.kind == VALUE_LAST;
        return &v != &slot && over_data && v.range == slot.range && v.from <= slot_end(slot) && v.to >= slot.at;
    };
    for (bool grew = true; grew;) {
        grew = false;
        for (Value& v : list)
            for (const Value& w : list)
                if (!v.per_unit && w.per_unit && spans(v, w))
                    v.per_unit = grew = true;
    }
    if (!values.blank_per_unit)
        return;
    for (Value& v : list) {
        if (!v.per_unit)
            continue;
        v.blank = true;
        v.signature.clear();
        fill_signature(v, big_endian);
        v.known = true;
    }
}

// Each digest leaves out its range's signature slot; a checksum that
// changes when the signature is placed (its span covers the slot, directly
// or through other values) may not lie inside a digest's span, or the
// signature could never verify. A range takes one signature.
bool leave_out_signatures(ValueState& values, Diagnostics& d)
{
    bool ok = true;
    std::vector<const Value*> signatures;
    for (const Value& s : values.list) {
        if (s.kind != VALUE_SIGNATURE)
            continue;
        for (const Value* other : signatures)
            if (other->range == s.range) {
                report(d, SEVERITY_ERROR, "signatures '%s' and '%s' are both in range '%s': a range takes one",
                       other->text.c_str(), s.text.c_str(), s.range->name.c_str());
                ok = false;
            }
        signatures.push_back(&s);
    }
    for (Value& digest : values.digests) {
        digest.size = 0;
        for (const Value* s : signatures) {
            if (s->range != digest.range || digest.from > slot_end(*s) || digest.to < s->at)
                continue;
            digest.at = s->at;
            digest.size = s->size;
            // the values that change with the signature: cover it, or cover one that does
            std::vector<bool> moved(values.list.size());
            for (bool more = true; more;) {
                more = false;
                for (size_t i = 0; i < values.list.size(); ++i) {
                    if (moved[i])
                        continue;
                    bool m = covers(values.list[i], *s);
                    for (size_t j = 0; j < values.list.size() && !m; ++j)
                        m = moved[j] && covers(values.list[i], values.list[j]);
                    if (m)
                        moved[i] = more = true;
                }
            }
            for (size_t i = 0; i < values.list.size(); ++i) {
                const Value& v = values.list[i];
                if (!moved[i] || v.at > digest.to || slot_end(v) < digest.from)
                    continue;
                if (digest.out_name.empty())  // the digest of the signature's own check
                    report(d, SEVERITY_ERROR,
                           "%s '%s' covers the slot of signature '%s' and lies inside the range its digest= checks: "
                           "placing the signature would change what is signed",
                           v.option.c_str(), v.text.c_str(), s->text.c_str());
                else
                    report(d, SEVERITY_ERROR,
                           "%s '%s' covers the slot of signature '%s' and lies inside the span of digest '%s': "
                           "placing the signature would change what is signed",
                           v.option.c_str(), v.text.c_str(), s->text.c_str(), digest.text.c_str());
                ok = false;
            }
        }
    }
    return ok;
}

}  // namespace

void refuse(Diagnostics& d, const Value& v, const char* format, ...)
{
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    // a unit's own value names the unit and its row in every message about it
    if (v.stamp_unit.empty())
        report(d, SEVERITY_ERROR, "%s '%s': %s", v.option.c_str(), v.text.c_str(), text);
    else
        report(d, SEVERITY_ERROR, "%s '%s': %s (%s)", v.option.c_str(), v.text.c_str(), text, v.stamp_unit.c_str());
}

bool parse_address(const std::string& text, AddressText& address)
{
    address = AddressText{};
    address.given = true;
    uint32_t number = 0;
    if (!text.empty() && text[0] >= '0' && text[0] <= '9') {
        address.number = number;
        if (!parse_number(text, number))
            return false;
        address.number = number;
        return true;
    }
    size_t end = 0;
    while (end < text.size() && symbol_character(text[end]))
        ++end;
    if (end == 0)
        return false;
    address.symbol = text.substr(0, end);
    if (end == text.size())
        return true;
    if ((text[end] != '+' && text[end] != '-') || !parse_number(text.substr(end + 1), number))
        return false;
    address.number = text[end] == '-' ? -int64_t{number} : int64_t{number};
    return true;
}

bool numbers_only(const Value& v)
{
    return v.at_text.symbol.empty() && v.from_text.symbol.empty() && v.to_text.symbol.empty();
}

bool value_fits(const Value& v, uint64_t value)
{
    return v.width >= 8 || value >> (8 * v.width) == 0;
}

bool place_value(Diagnostics& d, Value& v, const SymbolSource* source)
{
    // a digest has no slot of its own
    if ((v.kind != VALUE_DIGEST && !place_slot(d, v, source)) || !place_span(d, v, source))
        return false;
    if (source && !v.at_text.symbol.empty() && !find_placeholder(d, v, *source))
        return false;
    // a checksum needs its span whole before its slot; a field, where all the
    // data lies; a digest only when a signature's check needs it (said when
    // the checks are linked)
    if (v.kind == VALUE_CHECKSUM)
        v.ahead = uint64_t{v.to} > slot_end(v);
    else if (v.kind != VALUE_DIGEST)
        v.ahead = v.kind == VALUE_LENGTH || v.kind == VALUE_FIRST || v.kind == VALUE_LAST;
    v.placed = true;
    return true;
}

void check_slots(ValueState& values, Diagnostics& d, bool placed_only)
{
    std::vector<Value>& list = values.list;
    std::stable_sort(list.begin(), list.end(), slot_order);
    for (size_t i = 1; i < list.size(); ++i) {
        const Value& a = list[i - 1];
        const Value& b = list[i];
        if ((placed_only && !b.placed) || a.range != b.range || slot_end(a) < b.at)
            continue;
        if (a.kind == VALUE_CHECKSUM && b.kind == VALUE_CHECKSUM)
            report(d, SEVERITY_ERROR, "checksums '%s' and '%s' have overlapping slots in range '%s'", a.text.c_str(),
                   b.text.c_str(), a.range->name.c_str());
        else
            report(d, SEVERITY_ERROR, "%s '%s' and %s '%s' have overlapping slots in range '%s'", a.option.c_str(),
                   a.text.c_str(), b.option.c_str(), b.text.c_str(), a.range->name.c_str());
    }
}

bool resolve_values(ValueState& values, Diagnostics& d, const SymbolSource& source)
{
    const int errors = d.errors;
    for (std::vector<Value>* list : {&values.list, &values.digests})
        for (Value& v : *list)
            if (!v.placed)
                place_value(d, v, &source);
    if (d.errors != errors)
        return false;
    check_slots(values, d, false);
    if (d.errors != errors || !refuse_loops(values, d))
        return false;
    for (Value& v : values.list) {
        if (v.kind == VALUE_SIGNATURE)
            fill_signature(v, source.coff.target_big_endian);
        else if (v.kind == VALUE_STAMP)
            encode_stamp(v, source.coff.target_big_endian);
    }
    mark_per_unit_values(values, source.coff.target_big_endian);
    return leave_out_signatures(values, d);
}

}  // namespace khex
