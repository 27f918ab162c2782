#include "memory/values.h"

#include <algorithm>
#include <cstdarg>
#include <map>

#include "base/text.h"
#include "cmdfile/lexer.h"

namespace khex {

namespace {

const char* const PLACE_FIELDS[] = {"at", "from", "to", "endian", "holes"};
const char* const CRC_FIELDS[] = {"width", "poly", "init", "refin", "refout", "xorout"};

std::string lower(const std::string& text)
{
    return folded(text);
}

template <size_t N>
bool one_of(const char* const (&words)[N], const std::string& word)
{
    return std::find_if(std::begin(words), std::end(words), [&](const char* w) { return word == w; }) !=
           std::end(words);
}

unsigned long hex(uint64_t value)
{
    return static_cast<unsigned long>(value);
}

// An ERROR about one request, which it names as given.
[[gnu::format(printf, 3, 4)]] void refuse(Diagnostics& d, const Checksum& c, const char* format, ...)
{
    char text[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    report(d, SEVERITY_ERROR, "checksum '%s': %s", c.text.c_str(), text);
}

// The request's fields after the range and the algorithm, by lower-case key.
struct Fields {
    std::string range, algorithm;
    std::map<std::string, std::string> values;
};

bool split_fields(Diagnostics& d, const Checksum& c, Fields& f)
{
    std::vector<std::string> parts;
    for (size_t start = 0;;) {
        size_t comma = c.text.find(',', start);
        parts.push_back(c.text.substr(start, comma == std::string::npos ? comma : comma - start));
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    if (parts.size() < 2 || parts[0].empty() || parts[1].empty()) {
        refuse(d, c, "give a range and an algorithm first");
        return false;
    }
    f.range = parts[0];
    f.algorithm = lower(parts[1]);
    bool ok = true;
    for (size_t i = 2; i < parts.size(); ++i) {
        size_t equals = parts[i].find('=');
        std::string key = lower(parts[i].substr(0, equals));
        if (equals == std::string::npos || key.empty()) {
            refuse(d, c, "malformed field '%s'", parts[i].c_str());
            ok = false;
        } else if (!one_of(PLACE_FIELDS, key) && !one_of(CRC_FIELDS, key)) {
            refuse(d, c, "unknown field '%s'", key.c_str());
            ok = false;
        } else if (!f.values.emplace(key, parts[i].substr(equals + 1)).second) {
            refuse(d, c, "field '%s' given twice", key.c_str());
            ok = false;
        }
    }
    return ok;
}

// A number field; true when it is absent (value unchanged) or well formed.
bool number_field(Diagnostics& d, const Checksum& c, const Fields& f, const char* key, uint32_t& value, bool& given)
{
    auto it = f.values.find(key);
    given = it != f.values.end();
    if (given && !parse_number(it->second, value)) {
        refuse(d, c, "malformed field '%s=%s'", key, it->second.c_str());
        return false;
    }
    return true;
}

// The crc algorithm's own parameters, each required.
bool custom_crc(Diagnostics& d, Checksum& c, const Fields& f)
{
    uint32_t values[6] = {};
    bool ok = true;
    for (int i = 0; i < 6; ++i) {
        bool given = false;
        ok &= number_field(d, c, f, CRC_FIELDS[i], values[i], given);
        if (!given) {
            refuse(d, c, "the crc algorithm needs the field '%s'", CRC_FIELDS[i]);
            ok = false;
        }
    }
    if (!ok)
        return false;
    const uint32_t width = values[0];
    const uint32_t mask = width == 32 ? 0xFFFFFFFFu : (1u << (width % 32)) - 1;
    if (width != 8 && width != 16 && width != 32) {
        refuse(d, c, "malformed field 'width=%lu': 8, 16 or 32", hex(width));
        return false;
    }
    for (int i : {1, 2, 5}) {
        if (values[i] & ~mask) {
            refuse(d, c, "field '%s' has more than %lu bits", CRC_FIELDS[i], hex(width));
            ok = false;
        }
    }
    for (int i : {3, 4}) {
        if (values[i] > 1) {
            refuse(d, c, "malformed field '%s=%lu': 0 or 1", CRC_FIELDS[i], hex(values[i]));
            ok = false;
        }
    }
    c.algorithm = ChecksumAlgorithm{"crc", nullptr, KIND_CRC, static_cast<int>(width), values[1], values[2],
                                    values[3] == 1, values[4] == 1, values[5], 0};
    return ok;
}

bool choose_algorithm(Diagnostics& d, Checksum& c, const Fields& f)
{
    if (f.algorithm == "crc")
        return custom_crc(d, c, f);
    const ChecksumAlgorithm* a = find_algorithm(f.algorithm);
    if (!a) {
        refuse(d, c, "unknown algorithm '%s'", f.algorithm.c_str());
        return false;
    }
    c.algorithm = *a;
    bool ok = true;
    for (const char* key : CRC_FIELDS) {
        if (f.values.count(key)) {
            refuse(d, c, "field '%s' belongs to the crc algorithm", key);
            ok = false;
        }
    }
    return ok;
}

bool choose_range(Diagnostics& d, const RangeState& ranges, Checksum& c, const Fields& f)
{
    int named = 0;
    for (const RomRange* r : ranges.rom_list) {
        if (r->name == f.range) {
            c.range = r;
            ++named;
        }
    }
    if (named == 1)
        return true;
    if (named == 0)
        refuse(d, c, "no range is named '%s'", f.range.c_str());
    else
        refuse(d, c, "%d ranges are named '%s'", named, f.range.c_str());
    c.range = nullptr;
    return false;
}

// endian= and holes=: one of two words each.
bool word_fields(Diagnostics& d, Checksum& c, const Fields& f)
{
    bool ok = true;
    if (auto it = f.values.find("endian"); it != f.values.end()) {
        const std::string v = lower(it->second);
        if (v == "big" || v == "little")
            c.order = v == "big" ? VALUE_BIG : VALUE_LITTLE;
        else
            ok = false, refuse(d, c, "malformed field 'endian=%s': big or little", it->second.c_str());
    }
    if (auto it = f.values.find("holes"); it != f.values.end()) {
        const std::string v = lower(it->second);
        if (v == "fill" || v == "skip")
            c.holes = v == "fill" ? HOLES_FILL : HOLES_SKIP;
        else
            ok = false, refuse(d, c, "malformed field 'holes=%s': fill or skip", it->second.c_str());
    }
    return ok;
}

// The slot: the value's bytes in whole memory words of the range, from at=
// (which must start a word) or in the range's last whole words.
bool place_slot(Diagnostics& d, Checksum& c, const Fields& f)
{
    const RomRange& r = *c.range;
    const uint64_t memwidth = static_cast<uint64_t>(r.memwidth);
    const uint64_t value_bytes = static_cast<uint64_t>(c.algorithm.width / 8);
    c.size = static_cast<uint32_t>((value_bytes + memwidth - 1) / memwidth * memwidth);
    uint32_t at = 0;
    bool given = false;
    if (!number_field(d, c, f, "at", at, given))
        return false;
    if (!given) {
        const uint64_t whole = uint64_t{r.length} / memwidth * memwidth;
        if (whole < c.size) {
            refuse(d, c, "range '%s' is too short for a slot of %lu bytes", r.name.c_str(), hex(c.size));
            return false;
        }
        c.at = static_cast<uint32_t>(r.origin + whole - c.size);
        return true;
    }
    c.at = at;
    if (at < r.origin || uint64_t{at} + c.size - 1 > r.end) {
        refuse(d, c, "slot 0x%08lx..0x%08lx lies outside range '%s' (0x%08lx..0x%08lx)", hex(at),
               hex(uint64_t{at} + c.size - 1), r.name.c_str(), hex(r.origin), hex(r.end));
        return false;
    }
    if ((at - r.origin) % memwidth != 0) {
        refuse(d, c, "slot at 0x%08lx does not start a memory word of range '%s'", hex(at), r.name.c_str());
        return false;
    }
    return true;
}

// The span: from= (the range's origin) to to= (the byte before the slot),
// inside the range and before the slot.
bool place_span(Diagnostics& d, Checksum& c, const Fields& f)
{
    const RomRange& r = *c.range;
    c.from = r.origin;
    c.to = c.at - 1;
    bool given = false;
    if (!number_field(d, c, f, "from", c.from, given) || !number_field(d, c, f, "to", c.to, given))
        return false;
    if (c.from < r.origin || c.to > r.end || c.from > c.to) {
        refuse(d, c, "span 0x%08lx..0x%08lx does not lie inside range '%s' (0x%08lx..0x%08lx)", hex(c.from),
               hex(c.to), r.name.c_str(), hex(r.origin), hex(r.end));
        return false;
    }
    if (c.to >= c.at) {
        refuse(d, c, "span 0x%08lx..0x%08lx does not end before the slot at 0x%08lx", hex(c.from), hex(c.to),
               hex(c.at));
        return false;
    }
    return true;
}

bool read_request(Diagnostics& d, const RangeState& ranges, Checksum& c)
{
    Fields f;
    bool ok = split_fields(d, c, f);
    if (f.range.empty() || f.algorithm.empty())
        return false;
    ok &= choose_range(d, ranges, c, f);
    bool algorithm = choose_algorithm(d, c, f);
    ok &= algorithm & word_fields(d, c, f);
    if (c.range && algorithm)
        ok &= place_slot(d, c, f) && place_span(d, c, f);
    return ok;
}

bool before(const Checksum& a, const Checksum& b)
{
    if (a.range->index != b.range->index)
        return a.range->index < b.range->index;
    return a.at < b.at;
}

}  // namespace

void resolve_checksums(ChecksumState& state, Diagnostics& d, const ConvOptions& options, const RangeState& ranges,
                       bool files_carry_addresses)
{
    for (const std::string& text : options.checksums) {
        Checksum c;
        c.text = text;
        if (!read_request(d, ranges, c))
            continue;
        c.label.name = "checksum";
        c.label.datawidth = options.datawidth;
        engine_start(c.engine, c.algorithm);
        state.list.push_back(std::move(c));
    }
    if (!options.checksums.empty() && !files_carry_addresses && !options.image)
        report(d, SEVERITY_ERROR, "-checksum needs -image with the Binary format, whose files carry no addresses");
    std::stable_sort(state.list.begin(), state.list.end(), before);
    for (size_t i = 1; i < state.list.size(); ++i) {
        const Checksum& a = state.list[i - 1];
        const Checksum& b = state.list[i];
        if (a.range == b.range && uint64_t{a.at} + a.size > b.at)
            report(d, SEVERITY_ERROR, "checksums '%s' and '%s' have overlapping slots in range '%s'",
                   a.text.c_str(), b.text.c_str(), a.range->name.c_str());
    }
}

int value_digits(const Checksum& c)
{
    return c.algorithm.width / 4;
}

}  // namespace khex
