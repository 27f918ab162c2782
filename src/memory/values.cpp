#include "memory/values.h"

#include <algorithm>
#include <cstdarg>
#include <map>

#include "base/text.h"
#include "cmdfile/lexer.h"
#include "memory/value_places.h"

namespace khex {

namespace {

const char* const CHECKSUM_FIELDS[] = {"at", "from", "to", "endian", "holes",
                                       "width", "poly", "init", "refin", "refout", "xorout"};
const char* const CRC_FIELDS[] = {"width", "poly", "init", "refin", "refout", "xorout"};
const char* const FIELD_FIELDS[] = {"at", "size", "from", "to", "endian"};

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

// The request's parts after the range and the algorithm or kind, by
// lower-case key.
struct Fields {
    std::string range, second;
    std::map<std::string, std::string> values;
};

bool split_fields(Diagnostics& d, const Value& v, Fields& f)
{
    const std::vector<std::string> parts = split_commas(v.text);
    const bool checksum = v.kind == VALUE_CHECKSUM;
    if (parts[0].empty()) {
        refuse(d, v, "no range before the %s", checksum ? "algorithm" : "kind");
        return false;
    }
    if (parts.size() < 2 || parts[1].empty()) {
        refuse(d, v, "no %s after range '%s'", checksum ? "algorithm" : "kind", parts[0].c_str());
        return false;
    }
    f.range = parts[0];
    f.second = parts[1];
    bool ok = true;
    for (size_t i = 2; i < parts.size(); ++i) {
        size_t equals = parts[i].find('=');
        std::string key = folded(parts[i].substr(0, equals));
        if (equals == std::string::npos || key.empty()) {
            refuse(d, v, "malformed field '%s'", parts[i].c_str());
            ok = false;
        } else if (checksum ? !one_of(CHECKSUM_FIELDS, key) : !one_of(FIELD_FIELDS, key)) {
            refuse(d, v, "unknown field '%s'", key.c_str());
            ok = false;
        } else if (!f.values.emplace(key, parts[i].substr(equals + 1)).second) {
            refuse(d, v, "field '%s' given twice", key.c_str());
            ok = false;
        }
    }
    return ok;
}

// A number field; true when it is absent (value unchanged) or well formed.
bool number_field(Diagnostics& d, const Value& v, const Fields& f, const char* key, uint32_t& value, bool& given)
{
    auto it = f.values.find(key);
    given = it != f.values.end();
    if (given && !parse_number(it->second, value)) {
        refuse(d, v, "malformed field '%s=%s'", key, it->second.c_str());
        return false;
    }
    return true;
}

// at=, from= and to=: a number, or a symbol with an optional +N or -N.
bool address_field(Diagnostics& d, const Value& v, const Fields& f, const char* key, AddressText& address)
{
    auto it = f.values.find(key);
    if (it == f.values.end())
        return true;
    if (!parse_address(it->second, address)) {
        refuse(d, v, "malformed field '%s=%s'", key, it->second.c_str());
        return false;
    }
    return true;
}

// The crc algorithm's own parameters, each required.
bool custom_crc(Diagnostics& d, Value& v, const Fields& f)
{
    uint32_t values[6] = {};
    bool ok = true;
    for (int i = 0; i < 6; ++i) {
        bool given = false;
        ok &= number_field(d, v, f, CRC_FIELDS[i], values[i], given);
        if (!given) {
            refuse(d, v, "the crc algorithm needs the field '%s'", CRC_FIELDS[i]);
            ok = false;
        }
    }
    if (!ok)
        return false;
    const uint32_t width = values[0];
    const uint32_t mask = width == 32 ? 0xFFFFFFFFu : (1u << (width % 32)) - 1;
    if (width != 8 && width != 16 && width != 32) {
        refuse(d, v, "malformed field 'width=%lu': 8, 16 or 32", hex(width));
        return false;
    }
    for (int i : {1, 2, 5}) {
        if (values[i] & ~mask) {
            refuse(d, v, "field '%s' has more than %lu bits", CRC_FIELDS[i], hex(width));
            ok = false;
        }
    }
    for (int i : {3, 4}) {
        if (values[i] > 1) {
            refuse(d, v, "malformed field '%s=%lu': 0 or 1", CRC_FIELDS[i], hex(values[i]));
            ok = false;
        }
    }
    v.algorithm = ChecksumAlgorithm{"crc", nullptr, KIND_CRC, static_cast<int>(width), values[1], values[2],
                                    values[3] == 1, values[4] == 1, values[5], 0};
    return ok;
}

std::string algorithm_names()
{
    std::string names;
    for (int i = 0; i < checksum_algorithm_count; ++i)
        names += std::string(checksum_algorithms[i].name) + ", ";
    return names + "crc";
}

bool choose_algorithm(Diagnostics& d, Value& v, const Fields& f)
{
    const std::string name = folded(f.second);
    if (name == "crc")
        return custom_crc(d, v, f);
    const ChecksumAlgorithm* a = find_algorithm(name);
    if (!a) {
        refuse(d, v, "unknown algorithm '%s' (algorithms: %s)", name.c_str(), algorithm_names().c_str());
        return false;
    }
    v.algorithm = *a;
    bool ok = true;
    for (const char* key : CRC_FIELDS) {
        if (f.values.count(key)) {
            refuse(d, v, "field '%s' belongs to the crc algorithm", key);
            ok = false;
        }
    }
    return ok;
}

// length, first, last or value=N; size= of 1, 2 or 4 bytes (4 unless said).
bool choose_kind(Diagnostics& d, Value& v, const Fields& f)
{
    const std::string kind = folded(f.second);
    bool ok = true;
    if (kind == "length" || kind == "first" || kind == "last") {
        v.kind = kind == "length" ? VALUE_LENGTH : kind == "first" ? VALUE_FIRST : VALUE_LAST;
    } else if (kind.rfind("value=", 0) == 0) {
        v.kind = VALUE_CONSTANT;
        if (!parse_number(f.second.substr(6), v.constant)) {
            refuse(d, v, "malformed kind '%s'", f.second.c_str());
            ok = false;
        }
    } else {
        refuse(d, v, "unknown kind '%s' (kinds: length, first, last, value=N)", f.second.c_str());
        return false;
    }
    uint32_t size = 4;
    bool given = false;
    if (!number_field(d, v, f, "size", size, given))
        return false;
    if (size != 1 && size != 2 && size != 4) {
        refuse(d, v, "malformed field 'size=%lu': 1, 2 or 4", hex(size));
        return false;
    }
    v.width = size;
    if (ok && v.kind == VALUE_CONSTANT && !value_fits(v, v.constant)) {
        refuse(d, v, "value 0x%lx does not fit in %lu byte%s", hex(v.constant), hex(size), size == 1 ? "" : "s");
        ok = false;
    }
    if (!f.values.count("at")) {
        refuse(d, v, "at= is required: the field's slot");
        ok = false;
    }
    return ok;
}

bool choose_range(Diagnostics& d, const RangeState& ranges, Value& v, const Fields& f)
{
    std::string error;
    v.range = range_named(ranges, f.range, error);
    if (!v.range)
        refuse(d, v, "%s", error.c_str());
    return v.range != nullptr;
}

// endian= and holes=: one of two words each.
bool word_fields(Diagnostics& d, Value& v, const Fields& f)
{
    bool ok = true;
    if (auto it = f.values.find("endian"); it != f.values.end()) {
        const std::string w = folded(it->second);
        if (w == "big" || w == "little")
            v.order = w == "big" ? VALUE_BIG : VALUE_LITTLE;
        else
            ok = false, refuse(d, v, "malformed field 'endian=%s': big or little", it->second.c_str());
    }
    if (auto it = f.values.find("holes"); it != f.values.end()) {
        const std::string w = folded(it->second);
        if (w == "fill" || w == "skip")
            v.holes = w == "fill" ? HOLES_FILL : HOLES_SKIP;
        else
            ok = false, refuse(d, v, "malformed field 'holes=%s': fill or skip", it->second.c_str());
    }
    return ok;
}

bool read_request(Diagnostics& d, const RangeState& ranges, Value& v)
{
    Fields f;
    bool ok = split_fields(d, v, f);
    if (f.range.empty() || f.second.empty())
        return false;
    ok &= choose_range(d, ranges, v, f);
    const bool chosen = v.kind == VALUE_CHECKSUM ? choose_algorithm(d, v, f) : choose_kind(d, v, f);
    ok &= chosen & word_fields(d, v, f);
    if (v.kind == VALUE_CHECKSUM)
        v.width = static_cast<uint32_t>(v.algorithm.width / 8);
    if (chosen && value_is_string(v) && v.order != VALUE_TARGET_ORDER) {
        refuse(d, v, "endian= is for numbers: a %s digest is stored byte 0 first", v.algorithm.name);
        ok = false;
    }
    if (v.range && chosen) {
        const bool addresses = address_field(d, v, f, "at", v.at_text) &&
                               address_field(d, v, f, "from", v.from_text) &&
                               address_field(d, v, f, "to", v.to_text);
        ok &= addresses;
        // numbers are placed now; symbols once the symbol table is read
        if (addresses && numbers_only(v))
            ok &= place_value(d, v, nullptr);
    }
    return ok;
}

void read_requests(ValueState& values, Diagnostics& d, const ConvOptions& options, const RangeState& ranges,
                   const std::vector<std::string>& texts, int kind)
{
    for (const std::string& text : texts) {
        Value v;
        v.option = kind == VALUE_CHECKSUM ? "checksum" : "field";
        v.kind = kind;
        v.text = text;
        if (!read_request(d, ranges, v))
            continue;
        v.label.name = v.option;
        v.label.datawidth = options.datawidth;
        if (v.kind == VALUE_CHECKSUM)
            engine_start(v.engine, v.algorithm);
        v.known = v.kind == VALUE_CONSTANT;
        set_value_number(v, v.constant);
        values.list.push_back(std::move(v));
    }
}

}  // namespace

void read_value_requests(ValueState& values, Diagnostics& d, const ConvOptions& options, const RangeState& ranges,
                         bool files_carry_addresses)
{
    read_requests(values, d, options, ranges, options.checksums, VALUE_CHECKSUM);
    if (!options.checksums.empty() && !files_carry_addresses && !options.image)
        report(d, SEVERITY_ERROR, "-checksum needs -image with the Binary format, whose files carry no addresses");
    read_requests(values, d, options, ranges, options.fields, VALUE_LENGTH);
    if (!options.fields.empty() && !files_carry_addresses && !options.image)
        report(d, SEVERITY_ERROR, "-field needs -image with the Binary format, whose files carry no addresses");
    check_slots(values, d, true);
}

bool values_ahead(const ValueState& values)
{
    for (const Value& v : values.list)
        if (v.ahead)
            return true;
    return false;
}

void set_value_number(Value& v, uint64_t number)
{
    for (uint32_t i = 0; i < v.width && i < MAX_VALUE_BYTES; ++i)
        v.bytes[v.width - 1 - i] = i < 8 ? static_cast<uint8_t>(number >> (8 * i)) : 0;
}

uint64_t value_number(const Value& v)
{
    uint64_t number = 0;
    for (uint32_t i = v.width > 8 ? v.width - 8 : 0; i < v.width; ++i)
        number = number << 8 | v.bytes[i];
    return number;
}

void take_engine_value(Value& v, const ChecksumEngine& engine)
{
    engine_bytes(engine, v.bytes);
}

bool value_is_string(const Value& v)
{
    return v.kind == VALUE_CHECKSUM && is_digest(v.algorithm);
}

void value_bytes(const Value& v, bool target_big_endian, uint8_t* slot)
{
    std::fill(slot, slot + v.size, 0);
    if (value_is_string(v)) {
        std::copy(v.bytes, v.bytes + v.width, slot);
        return;
    }
    const bool big = v.order == VALUE_BIG || (v.order == VALUE_TARGET_ORDER && target_big_endian);
    for (uint32_t i = 0; i < v.size; ++i) {
        const uint32_t k = big ? v.size - 1 - i : i;  // the byte's place value, in bytes
        slot[i] = k < v.width ? v.bytes[v.width - 1 - k] : 0;
    }
}

std::string value_hex(const Value& v)
{
    std::string text;
    for (uint32_t i = 0; i < v.width; ++i) {
        text += "0123456789abcdef"[v.bytes[i] >> 4];
        text += "0123456789abcdef"[v.bytes[i] & 0xF];
    }
    return text;
}

const char* value_name(const Value& v)
{
    switch (v.kind) {
    case VALUE_CHECKSUM: return v.algorithm.name;
    case VALUE_LENGTH: return "length";
    case VALUE_FIRST: return "first";
    case VALUE_LAST: return "last";
    default: return "value";
    }
}

}  // namespace khex
