#include "memory/inserts.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "base/text.h"
#include "cmdfile/lexer.h"
#include "coff/loader.h"
#include "memory/value_places.h"

namespace khex {

namespace {

unsigned long hex(uint64_t value)
{
    return static_cast<unsigned long>(value);
}

// An ERROR (or WARNING) about one request, which it names as given.
[[gnu::format(printf, 4, 5)]] void say(Diagnostics& d, int severity, const Insert& in, const char* format, ...)
{
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    report(d, severity, "insert '%s': %s", in.text.c_str(), text);
}

// format=, at=, offset=, from= and to=, each once.
bool read_field(Diagnostics& d, Insert& in, const std::string& part, std::vector<std::string>& seen)
{
    const size_t equals = part.find('=');
    const std::string key = folded(part.substr(0, equals));
    const std::string value = equals == std::string::npos ? "" : part.substr(equals + 1);
    if (equals == std::string::npos || key.empty()) {
        say(d, SEVERITY_ERROR, in, "malformed field '%s'", part.c_str());
        return false;
    }
    if (std::find(seen.begin(), seen.end(), key) != seen.end()) {
        say(d, SEVERITY_ERROR, in, "field '%s' given twice", key.c_str());
        return false;
    }
    seen.push_back(key);
    AddressText* address = key == "at" ? &in.at_text : key == "from" ? &in.from_text : key == "to" ? &in.to_text
                                                                                                    : nullptr;
    if (address) {
        if (parse_address(value, *address))
            return true;
    } else if (key == "format") {
        in.file.format = hex_format_of(folded(value));
        if (in.file.format != HEX_DETECT)
            return true;
        say(d, SEVERITY_ERROR, in, "unknown format '%s' (formats: %s)",
            value.c_str(), hex_format_names().c_str());
        return false;
    } else if (key == "offset") {
        const bool negative = !value.empty() && value[0] == '-';
        uint32_t number = 0;
        if (parse_number(negative ? value.substr(1) : value, number)) {
            in.offset = negative ? -int64_t{number} : int64_t{number};
            return true;
        }
    } else {
        say(d, SEVERITY_ERROR, in, "unknown field '%s' (fields: format, at, offset, from, to)", key.c_str());
        return false;
    }
    say(d, SEVERITY_ERROR, in, "malformed field '%s'", part.c_str());
    return false;
}

bool read_request(Diagnostics& d, const RangeState& ranges, Insert& in)
{
    const std::vector<std::string> parts = split_commas(in.text);
    if (parts[0].empty() || parts.size() < 2 || parts[1].empty()) {
        say(d, SEVERITY_ERROR, in, parts[0].empty() ? "no range before the file" : "no file after range '%s'",
            parts[0].c_str());
        return false;
    }
    std::string error;
    in.range = range_named(ranges, parts[0], error);
    bool ok = in.range != nullptr;
    if (!ok)
        say(d, SEVERITY_ERROR, in, "%s", error.c_str());
    in.file.name = parts[1];
    std::vector<std::string> seen;
    for (size_t i = 2; i < parts.size(); ++i)
        ok &= read_field(d, in, parts[i], seen);
    return ok;
}

// Where the file's bytes go: a binary's from at=, a hex file's at its
// records' addresses plus the offset; within from= and to= when given,
// which cut away the bytes the offset moves outside the address space.
bool make_pieces(Diagnostics& d, Insert& in, const SymbolSource* source, std::vector<InsertPiece>& pieces)
{
    const bool binary = in.file.format == HEX_BINARY;
    uint32_t at = 0, from = 0, to = 0xFFFFFFFF;
    Value v;  // the addresses resolve as a value's do, in its range
    v.option = "insert";
    v.text = in.text;
    v.range = in.range;
    RomRange whole = *in.range;  // symbols may name any address: the range check comes later
    whole.origin = 0;
    whole.end = 0xFFFFFFFF;
    v.range = &whole;
    if ((binary && !resolve_value_address(d, v, source, in.at_text, at)) ||
        (in.from_text.given && !resolve_value_address(d, v, source, in.from_text, from)) ||
        (in.to_text.given && !resolve_value_address(d, v, source, in.to_text, to)))
        return false;
    for (size_t k = 0; k < in.file.extents.size(); ++k) {
        const HexExtent& e = in.file.extents[k];
        const int64_t first = binary ? int64_t{at} + e.address : int64_t{e.address} + in.offset;
        const int64_t last = first + e.length - 1;
        // bytes the window cuts away may go anywhere; without from= (or to=)
        // nothing cuts those moved past the address space's end
        if ((first < 0 && !in.from_text.given) || (last > 0xFFFFFFFFll && !in.to_text.given)) {
            say(d, SEVERITY_ERROR, in, "the data at 0x%08lx of %s would go to %s0x%llx, outside the address space",
                hex(e.address), in.file.name.c_str(), first < 0 ? "-" : "",
                static_cast<unsigned long long>(first < 0 ? -first : last));
            return false;
        }
        const int64_t kept_first = std::max<int64_t>(first, from);
        const int64_t kept_last = std::min<int64_t>(last, to);
        if (kept_first <= kept_last)
            pieces.push_back(InsertPiece{static_cast<uint32_t>(kept_first),
                                         static_cast<uint32_t>(kept_last - kept_first + 1), k,
                                         static_cast<uint32_t>(kept_first - first)});
    }
    return true;
}

// Pieces at consecutive addresses make one block; each block lies inside the
// range and starts a memory word.
bool make_blocks(Diagnostics& d, Insert& in, std::vector<InsertPiece>& pieces)
{
    std::sort(pieces.begin(), pieces.end(),
              [](const InsertPiece& a, const InsertPiece& b) { return a.address < b.address; });
    for (const InsertPiece& p : pieces) {
        if (!in.blocks.empty() && uint64_t{in.blocks.back().address} + in.blocks.back().length == p.address) {
            in.blocks.back().length += p.length;
            in.blocks.back().pieces.push_back(p);
        } else {
            in.blocks.push_back(InsertBlock{p.address, p.length, {p}});
        }
    }
    const RomRange& r = *in.range;
    bool ok = true;
    for (const InsertBlock& b : in.blocks) {
        const uint64_t last = uint64_t{b.address} + b.length - 1;
        if (b.address < r.origin || last > r.end) {
            say(d, SEVERITY_ERROR, in, "data 0x%08lx..0x%08lx lies outside range '%s' (0x%08lx..0x%08lx)",
                hex(b.address), hex(last), r.name.c_str(), hex(r.origin), hex(r.end));
            ok = false;
        } else if ((b.address - r.origin) % static_cast<uint32_t>(r.memwidth) != 0) {
            say(d, SEVERITY_ERROR, in, "data at 0x%08lx of %s does not start a memory word of range '%s'",
                hex(b.address), in.file.name.c_str(), r.name.c_str());
            ok = false;
        }
    }
    return ok;
}

bool place_insert(Diagnostics& d, Insert& in, const SymbolSource* source)
{
    std::vector<InsertPiece> pieces;
    if (!make_pieces(d, in, source, pieces))
        return false;
    if (pieces.empty())
        say(d, SEVERITY_WARNING, in, "keeps no byte of %s", in.file.name.c_str());
    in.placed = make_blocks(d, in, pieces);
    return in.placed;
}

bool numbers_only(const Insert& in)
{
    return in.at_text.symbol.empty() && in.from_text.symbol.empty() && in.to_text.symbol.empty();
}

uint64_t end_of(uint32_t address, uint64_t length)
{
    return uint64_t{address} + length - 1;
}

// The first address two extents share, or nothing.
bool first_shared(uint32_t a, uint64_t a_length, uint32_t b, uint64_t b_length, uint32_t& shared)
{
    if (end_of(a, a_length) < b || end_of(b, b_length) < a)
        return false;
    shared = std::max(a, b);
    return true;
}

// A block over a section, another insert's block or a value's slot.
bool refuse_clashes(Diagnostics& d, const InsertState& inserts, size_t index, const SymbolSource& source,
                    const ValueState& values)
{
    const Insert& in = inserts.list[index];
    bool ok = true;
    uint32_t at = 0;
    for (const InsertBlock& b : in.blocks) {
        for (const SectionSpec* spec : source.specs.spec_list) {
            if (spec->section < 0 || (spec->flags & (SPEC_BOOT | SPEC_CINIT)) || spec->page != in.range->page)
                continue;
            const uint32_t size = section_of(source.coff, *spec).s_size;
            if (size != 0 && first_shared(b.address, b.length, spec->paddr, size, at)) {
                say(d, SEVERITY_ERROR, in, "its data overlaps section '%s' at 0x%08lx", spec->name.c_str(), hex(at));
                ok = false;
            }
        }
        for (size_t k = 0; k < index; ++k) {
            const Insert& other = inserts.list[k];
            if (other.range != in.range)
                continue;
            for (const InsertBlock& ob : other.blocks)
                if (first_shared(b.address, b.length, ob.address, ob.length, at)) {
                    say(d, SEVERITY_ERROR, in, "its data overlaps insert '%s' at 0x%08lx", other.text.c_str(),
                        hex(at));
                    ok = false;
                }
        }
        for (const Value& v : values.list)
            if (v.range == in.range && first_shared(b.address, b.length, v.at, v.size, at)) {
                say(d, SEVERITY_ERROR, in, "its data overlaps the slot of %s '%s' at 0x%08lx", v.option.c_str(),
                    v.text.c_str(), hex(at));
                ok = false;
            }
    }
    return ok;
}

// The records of a RAM-model .cinit are loaded after every other section, so
// the blocks that come after it in the order, before any other section, go
// to the order's end, where they follow those records: a boot table is not
// ended before its .cinit records, and records stay in address order.
void follow_autoinitialisation(std::vector<int>& order, const std::vector<const SectionSpec*>& step_spec,
                               size_t taken)
{
    size_t at = 0;
    while (at < taken && !(step_spec[at]->flags & SPEC_CINIT))
        ++at;
    if (at == taken)
        return;
    size_t end = at + 1;
    while (end < taken && order[end] < 0)
        ++end;
    std::rotate(order.begin() + static_cast<long>(at) + 1, order.begin() + static_cast<long>(end), order.end());
}

}  // namespace

void read_insert_requests(InsertState& inserts, Diagnostics& d, const ConvOptions& options,
                          const RangeState& ranges)
{
    for (const std::string& text : options.inserts) {
        Insert& in = inserts.list.emplace_back();
        in.text = text;
        if (!read_request(d, ranges, in) || !open_hex_file(in.file, d))
            continue;
        const bool binary = in.file.format == HEX_BINARY;
        if (binary && !in.at_text.given) {
            say(d, SEVERITY_ERROR, in, "a binary file needs at=, the address of its first byte");
            continue;
        }
        if (!binary && in.at_text.given) {
            say(d, SEVERITY_ERROR, in, "at= is for binary files: the records of %s carry their addresses (offset= moves them)",
                in.file.name.c_str());
            continue;
        }
        if (numbers_only(in))
            place_insert(d, in, nullptr);
    }
}

bool resolve_inserts(InsertState& inserts, Diagnostics& d, const SymbolSource& source, const ValueState& values)
{
    const int errors = d.errors;
    for (Insert& in : inserts.list)
        if (!in.placed && in.range && in.file.file)
            place_insert(d, in, &source);
    if (d.errors != errors)
        return false;
    for (size_t i = 0; i < inserts.list.size(); ++i)
        refuse_clashes(d, inserts, i, source, values);
    return d.errors == errors;
}

void order_inserts(InsertState& inserts, SpecState& specs, const ConvOptions& options)
{
    std::vector<const SectionSpec*> step_spec;  // the section entry of each taken step
    for (int step : specs.conversion_order)
        for (const SectionSpec* spec : specs.spec_list)
            if (step >= 0 && spec->section == step)
                step_spec.push_back(spec);
    size_t taken = step_spec.size();
    step_spec.resize(specs.conversion_order.size(), nullptr);
    int k = 0;
    for (Insert& in : inserts.list) {
        for (InsertBlock& b : in.blocks) {
            SectionSpec& spec = inserts.specs.emplace_back();
            spec.name = in.file.name;
            spec.section = -1;
            spec.paddr = b.address;
            spec.page = in.range->page;
            spec.datawidth = options.datawidth;
            spec.flags = SPEC_INSERT;
            spec.index = specs.spec_list.size();
            specs.spec_list.push_back(&spec);
            b.spec = &spec;
            // after the bootstrap section, before the first section above it
            size_t at = options.has_bootstrap && taken > 0 ? 1 : 0;
            while (at < taken && (step_spec[at]->page < spec.page ||
                                  (step_spec[at]->page == spec.page && step_spec[at]->paddr <= spec.paddr)))
                ++at;
            specs.conversion_order.insert(specs.conversion_order.begin() + static_cast<long>(at), -1 - k++);
            step_spec.insert(step_spec.begin() + static_cast<long>(at), &spec);
            ++taken;
        }
    }
    follow_autoinitialisation(specs.conversion_order, step_spec, taken);
}

InsertBlock& insert_block(InsertState& inserts, int k, Insert*& insert)
{
    for (Insert& in : inserts.list) {
        if (k < static_cast<int>(in.blocks.size())) {
            insert = &in;
            return in.blocks[static_cast<size_t>(k)];
        }
        k -= static_cast<int>(in.blocks.size());
    }
    insert = nullptr;
    return inserts.list.front().blocks.front();  // not reached: every step names a block
}

void close_inserts(InsertState& inserts)
{
    for (Insert& in : inserts.list)
        close_hex_file(in.file);
}

}  // namespace khex
