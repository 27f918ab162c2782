#include "memory/values.h"

#include <algorithm>
#include <cstdarg>
#include <map>

#include "base/text.h"
#include "cmdfile/lexer.h"
#include "hexfile/signature.h"
#include "memory/value_places.h"

namespace khex {

namespace {

const char* const CHECKSUM_FIELDS[] = {"at", "from", "to", "endian", "holes",
                                       "width", "poly", "init", "refin", "refout", "xorout"};
const char* const CRC_FIELDS[] = {"width", "poly", "init", "refin", "refout", "xorout"};
const char* const FIELD_FIELDS[] = {"at", "size", "from", "to", "endian"};
const char* const DIGEST_FIELDS[] = {"out", "alg", "from", "to", "encoding", "message", "holes"};
const char* const SIGNATURE_FIELDS[] = {"at", "size", "file", "format", "digest"};
const char* const STAMP_FIELDS[] = {"at", "size", "value", "text", "column", "step", "shared", "kind", "endian", "chars"};
const char* const STAMP_KINDS[] = {"number", "mac", "bytes", "text"};

// The most bytes a stamp's slot takes.
constexpr uint32_t MAX_STAMP_BYTES = 1024;

// The requests by option: the first kind, the fields each takes after the
// range, and what comes second (an algorithm or kind) or nothing.
struct RequestRow {
    const char* option;
    int kind;
    const char* const* fields;
    size_t field_count;
    const char* second;
};

const RequestRow REQUESTS[] = {
    {"checksum", VALUE_CHECKSUM, CHECKSUM_FIELDS, std::size(CHECKSUM_FIELDS), "algorithm"},
    {"field", VALUE_LENGTH, FIELD_FIELDS, std::size(FIELD_FIELDS), "kind"},
    {"digest", VALUE_DIGEST, DIGEST_FIELDS, std::size(DIGEST_FIELDS), nullptr},
    {"signature", VALUE_SIGNATURE, SIGNATURE_FIELDS, std::size(SIGNATURE_FIELDS), nullptr},
    {"stamp", VALUE_STAMP, STAMP_FIELDS, std::size(STAMP_FIELDS), nullptr},
};

const RequestRow& request_row(const Value& v)
{
    for (const RequestRow& row : REQUESTS)
        if (v.option == row.option)
            return row;
    return REQUESTS[0];
}

bool one_of(const RequestRow& row, const std::string& word)
{
    return std::find_if(row.fields, row.fields + row.field_count, [&](const char* w) { return word == w; }) !=
           row.fields + row.field_count;
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
    std::vector<std::string> parts = split_commas(v.text);
    // a stamp's text= comes last and takes the rest, commas included
    for (size_t i = 1; v.kind == VALUE_STAMP && i < parts.size(); ++i) {
        if (folded(parts[i].substr(0, 5)) != "text=")
            continue;
        for (size_t j = i + 1; j < parts.size(); ++j)
            parts[i] += "," + parts[j];
        parts.resize(i + 1);
    }
    const RequestRow& row = request_row(v);
    if (parts[0].empty()) {
        if (row.second)
            refuse(d, v, "no range before the %s", row.second);
        else
            refuse(d, v, "no range");
        return false;
    }
    if (row.second && (parts.size() < 2 || parts[1].empty())) {
        refuse(d, v, "no %s after range '%s'", row.second, parts[0].c_str());
        return false;
    }
    f.range = parts[0];
    f.second = row.second ? parts[1] : "";
    bool ok = true;
    for (size_t i = row.second ? 2 : 1; i < parts.size(); ++i) {
        size_t equals = parts[i].find('=');
        std::string key = folded(parts[i].substr(0, equals));
        if (v.kind == VALUE_STAMP && equals == std::string::npos && key == "shared") {
            if (!f.values.emplace(key, "").second) {
                refuse(d, v, "field '%s' given twice", key.c_str());
                ok = false;
            }
            continue;
        }
        if (equals == std::string::npos || key.empty()) {
            refuse(d, v, "malformed field '%s'", parts[i].c_str());
            ok = false;
        } else if (!one_of(row, key)) {
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

// A file name field: absent, or not empty.
bool name_field(Diagnostics& d, const Value& v, const Fields& f, const char* key, std::string& name)
{
    auto it = f.values.find(key);
    if (it == f.values.end())
        return true;
    name = it->second;
    if (name.empty())
        refuse(d, v, "%s= names no file", key);
    return !name.empty();
}

std::string digest_names()
{
    std::string names;
    for (int i = 0; i < checksum_algorithm_count; ++i)
        if (is_digest(checksum_algorithms[i]))
            names += std::string(names.empty() ? "" : ", ") + checksum_algorithms[i].name;
    return names;
}

// -digest: out= (required), alg= (sha256 unless said), encoding=, message=.
bool choose_digest(Diagnostics& d, Value& v, const Fields& f)
{
    bool ok = name_field(d, v, f, "out", v.out_name) && name_field(d, v, f, "message", v.message_name);
    if (!f.values.count("out")) {
        refuse(d, v, "out= is required: the file the digest goes to");
        ok = false;
    }
    const std::string alg = f.values.count("alg") ? folded(f.values.at("alg")) : "sha256";
    const ChecksumAlgorithm* a = find_algorithm(alg);
    if (!a || !is_digest(*a)) {
        refuse(d, v, "alg=%s is no digest (digests: %s)", alg.c_str(), digest_names().c_str());
        return false;
    }
    v.algorithm = *a;
    if (auto it = f.values.find("encoding"); it != f.values.end()) {
        const std::string w = folded(it->second);
        if (w == "raw" || w == "hex") {
            v.encoding = w == "raw" ? DIGEST_RAW : DIGEST_HEX;
        } else {
            refuse(d, v, "malformed field 'encoding=%s': raw or hex", it->second.c_str());
            ok = false;
        }
    }
    return ok;
}

// -signature: at= and size= (required), file= and its format=, digest=.
bool choose_signature(Diagnostics& d, Value& v, const Fields& f)
{
    bool ok = name_field(d, v, f, "file", v.signature_name) && name_field(d, v, f, "digest", v.signed_name);
    bool given = false;
    if (!number_field(d, v, f, "size", v.width, given))
        return false;
    if (!given || v.width == 0 || v.width > MAX_SIGNATURE_BYTES) {
        refuse(d, v, "size= is required: the slot's bytes, 1 to %lu", hex(MAX_SIGNATURE_BYTES));
        ok = false;
    }
    if (!f.values.count("at")) {
        refuse(d, v, "at= is required: the signature's slot");
        ok = false;
    }
    if (auto it = f.values.find("format"); it != f.values.end()) {
        v.signature_format = signature_format_of(folded(it->second));
        if (v.signature_format < 0) {
            refuse(d, v, "malformed field 'format=%s': %s", it->second.c_str(), signature_format_names().c_str());
            ok = false;
        } else if (!f.values.count("file")) {
            refuse(d, v, "format= says how file= holds the signature: give file=");
            ok = false;
        }
    }
    const bool der = v.signature_format == SIGNATURE_DER || v.signature_format == SIGNATURE_BASE64_DER;
    if (ok && der && v.width % 2 != 0) {
        refuse(d, v, "a DER signature's r and s take half the slot each: size=%lu is odd", hex(v.width));
        ok = false;
    }
    if (ok && !v.signature_name.empty())
        ok = read_signature_file(v.signature_name, v.signature_format, v.width, v.signature, d);
    return ok;
}

// A number of up to 64 bits: decimal, 0x hex, or as command files write
// numbers.
bool parse_wide_number(const std::string& text, uint64_t& value)
{
    uint32_t narrow = 0;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        value = 0;
        for (size_t i = 2; i < text.size(); ++i) {
            const int digit = hex_digit(text[i]);
            if (digit < 0 || value >> 60)
                return false;
            value = value << 4 | static_cast<uint64_t>(digit);
        }
        return true;
    }
    if (!text.empty() && text.find_first_not_of("0123456789") == std::string::npos && text.size() > 1 &&
        text[0] != '0') {
        value = 0;
        for (char c : text) {
            const uint64_t digit = static_cast<uint64_t>(c - '0');
            if (value > (UINT64_MAX - digit) / 10)
                return false;
            value = value * 10 + digit;
        }
        return true;
    }
    if (!parse_number(text, narrow))
        return false;
    value = narrow;
    return true;
}

// aa:bb:cc:dd:ee:ff, each octet two hex digits.
bool parse_mac(const std::string& text, std::vector<uint8_t>& octets)
{
    octets.clear();
    if (text.size() != 17)
        return false;
    for (size_t i = 0; i < 17; i += 3) {
        const int high = hex_digit(text[i]), low = hex_digit(text[i + 1]);
        if (high < 0 || low < 0 || (i + 2 < 17 && text[i + 2] != ':'))
            return false;
        octets.push_back(static_cast<uint8_t>(high << 4 | low));
    }
    return true;
}

// A run of hex digits, two a byte, an optional 0x before them.
bool parse_byte_run(std::string text, std::vector<uint8_t>& bytes)
{
    bytes.clear();
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text = text.substr(2);
    if (text.empty() || text.size() % 2 != 0)
        return false;
    for (size_t i = 0; i < text.size(); i += 2) {
        const int high = hex_digit(text[i]), low = hex_digit(text[i + 1]);
        if (high < 0 || low < 0)
            return false;
        bytes.push_back(static_cast<uint8_t>(high << 4 | low));
    }
    return true;
}

// The bytes a stamp's text takes: one a byte, one in the low byte of each
// 16-bit word (chars=1), or two a word, the first in the high byte
// (chars=2).
uint32_t text_bytes(const Value& v)
{
    const uint32_t n = static_cast<uint32_t>(v.octets.size());
    return v.chars == 0 ? n : v.chars == 1 ? 2 * n : 2 * ((n + 1) / 2);
}

// A MAC address as a 48-bit number, and back.
uint64_t mac_number(const std::vector<uint8_t>& octets)
{
    uint64_t n = 0;
    for (uint8_t o : octets)
        n = n << 8 | o;
    return n;
}

void set_mac_number(std::vector<uint8_t>& octets, uint64_t n)
{
    for (size_t i = octets.size(); i-- > 0; n >>= 8)
        octets[i] = static_cast<uint8_t>(n);
}

// The unit's data: value= (counted on by step= for each unit before it),
// text=, or the unit's value of column= in the lot.
bool stamp_source(Diagnostics& d, Value& v, const Fields& f, const StampUnit& unit)
{
    const int given = static_cast<int>(f.values.count("value") + f.values.count("text") + f.values.count("column"));
    if (given != 1) {
        refuse(d, v, "give one of value=, text= and column=: the unit's data");
        return false;
    }
    if (auto it = f.values.find("column"); it != f.values.end()) {
        v.stamp_column = it->second;
        if (!unit.lot) {
            refuse(d, v, "column= takes each unit's value from a lot: give -lot FILE");
            return false;
        }
        const int column = lot_column(*unit.lot, v.stamp_column);
        if (column < 0) {
            refuse(d, v, "no column '%s' in %s", v.stamp_column.c_str(), unit.lot->name.c_str());
            return false;
        }
        v.stamp_text = unit.row->values[static_cast<size_t>(column)];
        v.stamp_unit = unit.lot->name + ":" + std::to_string(unit.row->line) + ", unit " + unit.row->id;
    } else {
        v.stamp_text = f.values.at(f.values.count("value") ? "value" : "text");
    }
    if (f.values.count("step") && !f.values.count("value")) {
        refuse(d, v, "step= counts on from value=");
        return false;
    }
    v.stamp_shared = f.values.count("shared") != 0;
    return true;
}

// value= with step=: the unit's number, or MAC address, counted on from the
// first unit's; a MAC block may not carry into the maker's three octets.
bool step_stamp(Diagnostics& d, Value& v, const Fields& f, const StampUnit& unit)
{
    auto it = f.values.find("step");
    if (it == f.values.end())
        return true;
    if (!parse_wide_number(it->second, v.stamp_step)) {
        refuse(d, v, "malformed field 'step=%s': a number", it->second.c_str());
        return false;
    }
    const unsigned __int128 grown = static_cast<unsigned __int128>(v.stamp_step) * unit.index;
    if (v.stamp_kind == STAMP_MAC) {
        const uint64_t first = mac_number(v.octets);
        const unsigned __int128 n = first + grown;
        if ((n >> 24) != (first >> 24)) {
            refuse(d, v, "unit %llu's MAC address would carry into the maker's part %02x:%02x:%02x",
                   static_cast<unsigned long long>(unit.index + 1), v.octets[0], v.octets[1], v.octets[2]);
            return false;
        }
        set_mac_number(v.octets, static_cast<uint64_t>(n));
        return true;
    }
    const unsigned __int128 n = v.number + grown;
    if (n >> 64 || !value_fits(v, static_cast<uint64_t>(n))) {
        refuse(d, v, "unit %llu's value %s + %llu x %s does not fit in %lu byte%s",
               static_cast<unsigned long long>(unit.index + 1), v.stamp_text.c_str(),
               static_cast<unsigned long long>(unit.index), it->second.c_str(), hex(v.width), v.width == 1 ? "" : "s");
        return false;
    }
    v.number = static_cast<uint64_t>(n);
    return true;
}

// -stamp: at= and size= (required), value=, text= or column=, kind=, chars=;
// the unit's value is read and checked against its slot here.
bool choose_stamp(Diagnostics& d, Value& v, const Fields& f, const StampUnit& unit)
{
    bool ok = true;
    bool given = false;
    if (!number_field(d, v, f, "size", v.width, given))
        return false;
    if (!given || v.width == 0 || v.width > MAX_STAMP_BYTES) {
        refuse(d, v, "size= is required: the slot's bytes, 1 to %lu", hex(MAX_STAMP_BYTES));
        ok = false;
    }
    if (!f.values.count("at")) {
        refuse(d, v, "at= is required: the stamp's slot");
        ok = false;
    }
    if (!stamp_source(d, v, f, unit))
        return false;
    const bool has_text = f.values.count("text") != 0;
    v.stamp_kind = has_text ? STAMP_TEXT : STAMP_NUMBER;
    if (auto it = f.values.find("kind"); it != f.values.end()) {
        const std::string word = folded(it->second);
        const auto* k = std::find_if(std::begin(STAMP_KINDS), std::end(STAMP_KINDS),
                                     [&](const char* w) { return word == w; });
        if (k == std::end(STAMP_KINDS)) {
            refuse(d, v, "malformed field 'kind=%s': number, mac, bytes or text", it->second.c_str());
            return false;
        }
        v.stamp_kind = static_cast<int>(k - std::begin(STAMP_KINDS));
        if (has_text && v.stamp_kind != STAMP_TEXT) {
            refuse(d, v, "text= is text: kind=%s takes value=", word.c_str());
            return false;
        }
    }
    if (auto it = f.values.find("chars"); it != f.values.end()) {
        if (it->second != "1" && it->second != "2") {
            refuse(d, v, "malformed field 'chars=%s': 1 or 2", it->second.c_str());
            ok = false;
        } else if (v.stamp_kind != STAMP_TEXT) {
            refuse(d, v, "chars= is for text");
            ok = false;
        }
        v.chars = it->second == "1" ? 1 : 2;
    }
    if (f.values.count("endian") && v.stamp_kind != STAMP_NUMBER) {
        refuse(d, v, "endian= is for numbers: a %s is stored in the order it is written", STAMP_KINDS[v.stamp_kind]);
        ok = false;
    }
    if (f.values.count("step") && v.stamp_kind != STAMP_NUMBER && v.stamp_kind != STAMP_MAC) {
        refuse(d, v, "step= counts numbers and MAC addresses, not %s", STAMP_KINDS[v.stamp_kind]);
        ok = false;
    }
    if (!ok)
        return false;
    const char* shown = v.stamp_text.c_str();
    switch (v.stamp_kind) {
    case STAMP_NUMBER:
        if (!parse_wide_number(v.stamp_text, v.number)) {
            refuse(d, v, "malformed value '%s': a number", shown);
            return false;
        }
        if (!value_fits(v, v.number)) {
            refuse(d, v, "value %s does not fit in %lu byte%s", shown, hex(v.width), v.width == 1 ? "" : "s");
            return false;
        }
        return step_stamp(d, v, f, unit);
    case STAMP_MAC:
        if (!parse_mac(v.stamp_text, v.octets)) {
            refuse(d, v, "malformed MAC address '%s': six octets as aa:bb:cc:dd:ee:ff", shown);
            return false;
        }
        if (!step_stamp(d, v, f, unit))
            return false;
        break;
    case STAMP_BYTES:
        if (!parse_byte_run(v.stamp_text, v.octets)) {
            refuse(d, v, "malformed bytes '%s': two hex digits a byte", shown);
            return false;
        }
        break;
    default:
        v.octets.assign(v.stamp_text.begin(), v.stamp_text.end());
        break;
    }
    const uint32_t bytes = v.stamp_kind == STAMP_TEXT ? text_bytes(v) : static_cast<uint32_t>(v.octets.size());
    if (bytes > v.width || (v.stamp_kind != STAMP_TEXT && bytes != v.width)) {
        refuse(d, v, "%s '%s' takes %lu bytes, not the slot's size=%lu", STAMP_KINDS[v.stamp_kind], shown, hex(bytes),
               hex(v.width));
        return false;
    }
    return true;
}

bool choose(Diagnostics& d, Value& v, const Fields& f, const StampUnit& unit)
{
    switch (v.kind) {
    case VALUE_STAMP: return choose_stamp(d, v, f, unit);
    case VALUE_CHECKSUM: return choose_algorithm(d, v, f);
    case VALUE_DIGEST: return choose_digest(d, v, f);
    case VALUE_SIGNATURE: return choose_signature(d, v, f);
    default: return choose_kind(d, v, f);
    }
}

bool read_request(Diagnostics& d, const RangeState& ranges, Value& v, const StampUnit& unit)
{
    Fields f;
    bool ok = split_fields(d, v, f);
    if (f.range.empty() || (request_row(v).second && f.second.empty()))
        return false;
    ok &= choose_range(d, ranges, v, f);
    const bool chosen = choose(d, v, f, unit);
    ok &= chosen & word_fields(d, v, f);
    if (value_hashes_span(v))
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
                   const std::vector<std::string>& texts, const RequestRow& row, const StampUnit& unit)
{
    for (const std::string& text : texts) {
        Value v;
        v.option = row.option;
        v.kind = row.kind;
        v.text = text;
        if (!read_request(d, ranges, v, unit))
            continue;
        v.label.name = v.option;
        v.label.datawidth = options.datawidth;
        if (value_hashes_span(v))
            engine_start(v.engine, v.algorithm);
        v.known = v.kind == VALUE_CONSTANT || v.kind == VALUE_SIGNATURE || v.kind == VALUE_STAMP;
        v.bytes.assign(v.width, 0);
        set_value_number(v, v.kind == VALUE_STAMP ? v.number : v.constant);
        (v.kind == VALUE_DIGEST ? values.digests : values.list).push_back(std::move(v));
    }
}

// Each signature with digest= is checked by the first -digest of its range,
// or by a digest of the whole range of its own; the signed digest is read
// in that digest's width.
void link_signature_checks(ValueState& values, Diagnostics& d)
{
    for (Value& s : values.list) {
        if (s.kind != VALUE_SIGNATURE || s.signed_name.empty())
            continue;
        for (size_t i = 0; i < values.digests.size() && s.checked_by < 0; ++i)
            if (values.digests[i].range == s.range)
                s.checked_by = static_cast<int>(i);
        if (s.checked_by < 0) {
            Value check;
            check.option = s.option;
            check.text = s.text;
            check.kind = VALUE_DIGEST;
            check.range = s.range;
            check.algorithm = *find_algorithm("sha256");
            check.width = static_cast<uint32_t>(check.algorithm.width / 8);
            check.holes = HOLES_FILL;
            check.bytes.assign(check.width, 0);
            engine_start(check.engine, check.algorithm);
            place_value(d, check, nullptr);
            s.checked_by = static_cast<int>(values.digests.size());
            values.digests.push_back(std::move(check));
        }
        Value& check = values.digests[static_cast<size_t>(s.checked_by)];
        check.ahead = true;  // known before any file is written
        read_signed_digest_file(s.signed_name, check.width, s.signed_digest, d);
    }
}

}  // namespace

void read_value_requests(ValueState& values, Diagnostics& d, const ConvOptions& options, const RangeState& ranges,
                         bool files_carry_addresses, const StampUnit& unit)
{
    const std::vector<std::string>* texts[] = {&options.checksums, &options.fields, &options.digests,
                                               &options.signatures, &options.stamps};
    static_assert(std::size(texts) == std::size(REQUESTS), "a list of requests for each row");
    for (size_t i = 0; i < std::size(REQUESTS); ++i) {
        read_requests(values, d, options, ranges, *texts[i], REQUESTS[i], unit);
        if (!texts[i]->empty() && !files_carry_addresses && !options.image)
            report(d, SEVERITY_ERROR, "-%s needs -image with the Binary format, whose files carry no addresses",
                   REQUESTS[i].option);
    }
    link_signature_checks(values, d);
    check_slots(values, d, true);
}

std::string stamp_key(const Value& v)
{
    std::string key = std::to_string(v.stamp_kind) + ":" + std::to_string(v.number) + ":";
    key.append(v.octets.begin(), v.octets.end());
    return key;
}

bool values_requested(const ValueState& values)
{
    return !values.list.empty() || !values.digests.empty();
}

std::vector<std::string> digest_file_names(const ValueState& values)
{
    std::vector<std::string> names;
    for (const Value& v : values.digests)
        for (const std::string* name : {&v.message_name, &v.out_name})
            if (!name->empty())
                names.push_back(*name);
    return names;
}

std::vector<std::string> signature_file_names(const ValueState& values)
{
    std::vector<std::string> names;
    for (const Value& v : values.list)
        for (const std::string* name : {&v.signature_name, &v.signed_name})
            if (!name->empty())
                names.push_back(*name);
    return names;
}

bool values_ahead(const ValueState& values)
{
    for (const std::vector<Value>* list : {&values.list, &values.digests})
        for (const Value& v : *list)
            if (v.ahead)
                return true;
    return false;
}

void set_value_number(Value& v, uint64_t number)
{
    v.bytes.resize(v.width);
    for (uint32_t i = 0; i < v.width; ++i)
        v.bytes[v.width - 1 - i] = i < 8 ? static_cast<uint8_t>(number >> (8 * i)) : 0;
}

uint64_t value_number(const Value& v)
{
    uint64_t number = 0;
    for (size_t i = v.bytes.size() > 8 ? v.bytes.size() - 8 : 0; i < v.bytes.size(); ++i)
        number = number << 8 | v.bytes[i];
    return number;
}

void take_engine_value(Value& v, const ChecksumEngine& engine)
{
    uint8_t out[MAX_VALUE_BYTES];
    engine_bytes(engine, out);
    v.bytes.assign(out, out + v.algorithm.width / 8);
}

bool value_is_string(const Value& v)
{
    return (value_hashes_span(v) && is_digest(v.algorithm)) || v.kind == VALUE_SIGNATURE ||
           (v.kind == VALUE_STAMP && v.stamp_kind != STAMP_NUMBER);
}

void encode_stamp(Value& v, bool big_endian)
{
    if (v.stamp_kind == STAMP_NUMBER) {
        set_value_number(v, v.number);
        return;
    }
    v.bytes.assign(v.width, 0);
    if (v.chars == 0) {
        std::copy(v.octets.begin(), v.octets.end(), v.bytes.begin());
        return;
    }
    // 16-bit words in the target's byte order: one character in the low
    // byte, or two with the first in the high byte
    for (size_t i = 0; i < v.octets.size(); ++i) {
        const size_t word = v.chars == 1 ? i : i / 2;
        const bool high = v.chars == 2 && i % 2 == 0;
        v.bytes[2 * word + (high == big_endian ? 0 : 1)] = v.octets[i];
    }
}

bool value_hashes_span(const Value& v)
{
    return v.kind == VALUE_CHECKSUM || v.kind == VALUE_DIGEST;
}

bool check_signed_digests(const ValueState& values, Diagnostics& d)
{
    bool ok = true;
    for (const Value& s : values.list) {
        if (s.checked_by < 0 || s.signed_digest.empty())
            continue;
        const Value& check = values.digests[static_cast<size_t>(s.checked_by)];
        if (!check.known || check.bytes == s.signed_digest)
            continue;
        Value signed_value = check;
        signed_value.bytes = s.signed_digest;
        refuse(d, s, "the digest of range %s is %s, not the signed %s: sign the new digest", s.range->name.c_str(),
               value_hex(check).c_str(), value_hex(signed_value).c_str());
        ok = false;
    }
    return ok;
}

void value_bytes(const Value& v, bool target_big_endian, uint8_t* slot)
{
    std::fill(slot, slot + v.size, 0);
    if (value_is_string(v) || v.blank) {
        std::copy(v.bytes.begin(), v.bytes.begin() + std::min<size_t>(v.bytes.size(), v.size), slot);
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
    for (size_t i = 0; i < v.bytes.size(); ++i) {
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
    case VALUE_DIGEST: return v.algorithm.name;
    case VALUE_SIGNATURE: return "signature";
    case VALUE_STAMP: return STAMP_KINDS[v.stamp_kind];
    default: return "value";
    }
}

}  // namespace khex
