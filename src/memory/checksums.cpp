#include "memory/checksums.h"

#include <algorithm>
#include <cstdarg>
#include <map>

#include "driver/run.h"

namespace khex {

namespace {

const char* const PLACE_FIELDS[] = {"at", "from", "to", "endian", "holes"};
const char* const CRC_FIELDS[] = {"width", "poly", "init", "refin", "refout", "xorout"};

std::string lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return text;
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
[[gnu::format(printf, 3, 4)]] void refuse(Run& run, const Checksum& c, const char* format, ...)
{
    char text[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    report(run.diagnostics, SEVERITY_ERROR, "checksum '%s': %s", c.text.c_str(), text);
}

// The request's fields after the range and the algorithm, by lower-case key.
struct Fields {
    std::string range, algorithm;
    std::map<std::string, std::string> values;
};

bool split_fields(Run& run, const Checksum& c, Fields& f)
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
        refuse(run, c, "give a range and an algorithm first");
        return false;
    }
    f.range = parts[0];
    f.algorithm = lower(parts[1]);
    bool ok = true;
    for (size_t i = 2; i < parts.size(); ++i) {
        size_t equals = parts[i].find('=');
        std::string key = lower(parts[i].substr(0, equals));
        if (equals == std::string::npos || key.empty()) {
            refuse(run, c, "malformed field '%s'", parts[i].c_str());
            ok = false;
        } else if (!one_of(PLACE_FIELDS, key) && !one_of(CRC_FIELDS, key)) {
            refuse(run, c, "unknown field '%s'", key.c_str());
            ok = false;
        } else if (!f.values.emplace(key, parts[i].substr(equals + 1)).second) {
            refuse(run, c, "field '%s' given twice", key.c_str());
            ok = false;
        }
    }
    return ok;
}

// A number field; true when it is absent (value unchanged) or well formed.
bool number_field(Run& run, const Checksum& c, const Fields& f, const char* key, uint32_t& value, bool& given)
{
    auto it = f.values.find(key);
    given = it != f.values.end();
    if (given && !parse_number(it->second, value)) {
        refuse(run, c, "malformed field '%s=%s'", key, it->second.c_str());
        return false;
    }
    return true;
}

// The crc algorithm's own parameters, each required.
bool custom_crc(Run& run, Checksum& c, const Fields& f)
{
    uint32_t values[6] = {};
    bool ok = true;
    for (int i = 0; i < 6; ++i) {
        bool given = false;
        ok &= number_field(run, c, f, CRC_FIELDS[i], values[i], given);
        if (!given) {
            refuse(run, c, "the crc algorithm needs the field '%s'", CRC_FIELDS[i]);
            ok = false;
        }
    }
    if (!ok)
        return false;
    const uint32_t width = values[0];
    const uint32_t mask = width == 32 ? 0xFFFFFFFFu : (1u << (width % 32)) - 1;
    if (width != 8 && width != 16 && width != 32) {
        refuse(run, c, "malformed field 'width=%lu': 8, 16 or 32", hex(width));
        return false;
    }
    for (int i : {1, 2, 5}) {
        if (values[i] & ~mask) {
            refuse(run, c, "field '%s' has more than %lu bits", CRC_FIELDS[i], hex(width));
            ok = false;
        }
    }
    for (int i : {3, 4}) {
        if (values[i] > 1) {
            refuse(run, c, "malformed field '%s=%lu': 0 or 1", CRC_FIELDS[i], hex(values[i]));
            ok = false;
        }
    }
    c.algorithm = ChecksumAlgorithm{"crc", nullptr, KIND_CRC, static_cast<int>(width), values[1], values[2],
                                    values[3] == 1, values[4] == 1, values[5], 0};
    return ok;
}

bool choose_algorithm(Run& run, Checksum& c, const Fields& f)
{
    if (f.algorithm == "crc")
        return custom_crc(run, c, f);
    const ChecksumAlgorithm* a = find_algorithm(f.algorithm);
    if (!a) {
        refuse(run, c, "unknown algorithm '%s'", f.algorithm.c_str());
        return false;
    }
    c.algorithm = *a;
    bool ok = true;
    for (const char* key : CRC_FIELDS) {
        if (f.values.count(key)) {
            refuse(run, c, "field '%s' belongs to the crc algorithm", key);
            ok = false;
        }
    }
    return ok;
}

bool choose_range(Run& run, Checksum& c, const Fields& f)
{
    int named = 0;
    for (const RomRange* r : run.ranges.rom_list) {
        if (r->name == f.range) {
            c.range = r;
            ++named;
        }
    }
    if (named == 1)
        return true;
    if (named == 0)
        refuse(run, c, "no range is named '%s'", f.range.c_str());
    else
        refuse(run, c, "%d ranges are named '%s'", named, f.range.c_str());
    c.range = nullptr;
    return false;
}

// endian= and holes=: one of two words each.
bool word_fields(Run& run, Checksum& c, const Fields& f)
{
    bool ok = true;
    if (auto it = f.values.find("endian"); it != f.values.end()) {
        const std::string v = lower(it->second);
        if (v == "big" || v == "little")
            c.order = v == "big" ? VALUE_BIG : VALUE_LITTLE;
        else
            ok = false, refuse(run, c, "malformed field 'endian=%s': big or little", it->second.c_str());
    }
    if (auto it = f.values.find("holes"); it != f.values.end()) {
        const std::string v = lower(it->second);
        if (v == "fill" || v == "skip")
            c.holes = v == "fill" ? HOLES_FILL : HOLES_SKIP;
        else
            ok = false, refuse(run, c, "malformed field 'holes=%s': fill or skip", it->second.c_str());
    }
    return ok;
}

// The slot: the value's bytes in whole memory words of the range, from at=
// (which must start a word) or in the range's last whole words.
bool place_slot(Run& run, Checksum& c, const Fields& f)
{
    const RomRange& r = *c.range;
    const uint64_t memwidth = static_cast<uint64_t>(r.memwidth);
    const uint64_t value_bytes = static_cast<uint64_t>(c.algorithm.width / 8);
    c.size = static_cast<uint32_t>((value_bytes + memwidth - 1) / memwidth * memwidth);
    uint32_t at = 0;
    bool given = false;
    if (!number_field(run, c, f, "at", at, given))
        return false;
    if (!given) {
        const uint64_t whole = uint64_t{r.length} / memwidth * memwidth;
        if (whole < c.size) {
            refuse(run, c, "range '%s' is too short for a slot of %lu bytes", r.name.c_str(), hex(c.size));
            return false;
        }
        c.at = static_cast<uint32_t>(r.origin + whole - c.size);
        return true;
    }
    c.at = at;
    if (at < r.origin || uint64_t{at} + c.size - 1 > r.end) {
        refuse(run, c, "slot 0x%08lx..0x%08lx lies outside range '%s' (0x%08lx..0x%08lx)", hex(at),
               hex(uint64_t{at} + c.size - 1), r.name.c_str(), hex(r.origin), hex(r.end));
        return false;
    }
    if ((at - r.origin) % memwidth != 0) {
        refuse(run, c, "slot at 0x%08lx does not start a memory word of range '%s'", hex(at), r.name.c_str());
        return false;
    }
    return true;
}

// The span: from= (the range's origin) to to= (the byte before the slot),
// inside the range and before the slot.
bool place_span(Run& run, Checksum& c, const Fields& f)
{
    const RomRange& r = *c.range;
    c.from = r.origin;
    c.to = c.at - 1;
    bool given = false;
    if (!number_field(run, c, f, "from", c.from, given) || !number_field(run, c, f, "to", c.to, given))
        return false;
    if (c.from < r.origin || c.to > r.end || c.from > c.to) {
        refuse(run, c, "span 0x%08lx..0x%08lx does not lie inside range '%s' (0x%08lx..0x%08lx)", hex(c.from),
               hex(c.to), r.name.c_str(), hex(r.origin), hex(r.end));
        return false;
    }
    if (c.to >= c.at) {
        refuse(run, c, "span 0x%08lx..0x%08lx does not end before the slot at 0x%08lx", hex(c.from), hex(c.to),
               hex(c.at));
        return false;
    }
    return true;
}

bool read_request(Run& run, Checksum& c)
{
    Fields f;
    bool ok = split_fields(run, c, f);
    if (f.range.empty() || f.algorithm.empty())
        return false;
    ok &= choose_range(run, c, f);
    bool algorithm = choose_algorithm(run, c, f);
    ok &= algorithm & word_fields(run, c, f);
    if (c.range && algorithm)
        ok &= place_slot(run, c, f) && place_span(run, c, f);
    return ok;
}

bool before(const Checksum& a, const Checksum& b)
{
    if (a.range->index != b.range->index)
        return a.range->index < b.range->index;
    return a.at < b.at;
}

// The bytes of the fill pattern that holes count as: the fill value in the
// target's byte order, repeated every two bytes from the range's origin.
void feed_fill(Run& run, Checksum& c, uint32_t first, uint64_t count)
{
    const RomRange& r = *c.range;
    const bool big = run.coff.target_big_endian;
    const uint8_t f0 = static_cast<uint8_t>(big ? r.fill >> 8 : r.fill);
    const uint8_t f1 = static_cast<uint8_t>(big ? r.fill : r.fill >> 8);
    uint8_t block[256];
    const size_t parity = (first - r.origin) & 1;
    for (size_t i = 0; i < sizeof block; ++i)
        block[i] = ((i + parity) & 1) ? f1 : f0;
    while (count > 0) {
        size_t n = static_cast<size_t>(std::min<uint64_t>(count, sizeof block));
        engine_update(c.engine, block, n);
        count -= n;
    }
}

}  // namespace

void resolve_checksums(Run& run)
{
    ChecksumState& state = run.checksums;
    for (const std::string& text : run.options.checksums) {
        Checksum c;
        c.text = text;
        if (!read_request(run, c))
            continue;
        c.label.name = "checksum";
        c.label.datawidth = run.options.datawidth;
        engine_start(c.engine, c.algorithm);
        state.list.push_back(std::move(c));
    }
    if (!run.options.checksums.empty() && selected_format(run).index == FORMAT_BINARY && !run.options.image)
        report(run.diagnostics, SEVERITY_ERROR, "-checksum needs -image with the Binary format, whose files carry no addresses");
    std::stable_sort(state.list.begin(), state.list.end(), before);
    for (size_t i = 1; i < state.list.size(); ++i) {
        const Checksum& a = state.list[i - 1];
        const Checksum& b = state.list[i];
        if (a.range == b.range && uint64_t{a.at} + a.size > b.at)
            report(run.diagnostics, SEVERITY_ERROR, "checksums '%s' and '%s' have overlapping slots in range '%s'",
                   a.text.c_str(), b.text.c_str(), a.range->name.c_str());
    }
}

Checksum* pending_slot(Run& run, const RomRange& r)
{
    for (Checksum& c : run.checksums.list)
        if (c.range == &r && !c.written)
            return &c;
    return nullptr;
}

bool has_checksums(const Run& run, const RomRange& r)
{
    for (const Checksum& c : run.checksums.list)
        if (c.range == &r)
            return true;
    return false;
}

void checksum_bytes(Run& run, const RomRange& r, uint32_t address, const uint8_t* data, size_t n)
{
    if (n == 0)
        return;
    const uint64_t last = uint64_t{address} + n - 1;
    for (Checksum& c : run.checksums.list) {
        if (c.range != &r || c.to < address || c.from > last)
            continue;
        const uint64_t first = std::max<uint64_t>(address, c.from);
        const uint64_t end = std::min<uint64_t>(last, c.to);
        engine_update(c.engine, data + (first - address), static_cast<size_t>(end - first + 1));
    }
}

void checksum_hole(Run& run, const RomRange& r, uint32_t first, uint32_t last)
{
    for (Checksum& c : run.checksums.list) {
        if (c.range != &r || c.to < first || c.from > last)
            continue;
        const uint32_t from = std::max(first, c.from);
        const uint64_t count = uint64_t{std::min(last, c.to)} - from + 1;
        c.unwritten += count;
        if (c.holes != HOLES_SKIP)
            feed_fill(run, c, from, count);
    }
}

void finish_checksum(Run& run, Checksum& c, uint8_t* slot)
{
    c.value = engine_value(c.engine);
    c.written = true;
    if (c.unwritten != 0 && c.holes == HOLES_UNSAID)
        report(run.diagnostics, SEVERITY_WARNING,
               "checksum %s of range '%s' counts %llu unwritten bytes as the fill value 0x%04lx; give holes=fill or "
               "holes=skip",
               c.algorithm.name, c.range->name.c_str(), static_cast<unsigned long long>(c.unwritten),
               hex(c.range->fill));
    const bool big = c.order == VALUE_BIG || (c.order == VALUE_TARGET_ORDER && run.coff.target_big_endian);
    for (uint32_t i = 0; i < c.size; ++i) {
        const uint32_t k = big ? c.size - 1 - i : i;  // the byte's place value, in bytes
        slot[i] = k < 4 ? static_cast<uint8_t>(c.value >> (8 * k)) : 0;
    }
}

int value_digits(const Checksum& c)
{
    return c.algorithm.width / 4;
}

}  // namespace khex
