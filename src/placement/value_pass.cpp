#include "placement/value_pass.h"

#include <algorithm>
#include <cerrno>

#include "memory/span_hasher.h"

namespace khex {

namespace {

unsigned long hex(uint64_t value)
{
    return static_cast<unsigned long>(value);
}

// Addresses first..last, inclusive.
struct Piece {
    uint64_t first, last;
};

// The part of a..b inside v's span, less v's own slot: at most two pieces.
int span_pieces(const Value& v, uint64_t a, uint64_t b, Piece out[2])
{
    const uint64_t first = std::max<uint64_t>(a, v.from);
    const uint64_t last = std::min<uint64_t>(b, v.to);
    if (first > last)
        return 0;
    const uint64_t slot_first = v.at;
    const uint64_t slot_last = uint64_t{v.at} + v.size - 1;
    if (v.size == 0 || slot_first > last || slot_last < first) {
        out[0] = Piece{first, last};
        return 1;
    }
    int n = 0;
    if (first < slot_first)
        out[n++] = Piece{first, slot_first - 1};
    if (last > slot_last)
        out[n++] = Piece{slot_last + 1, last};
    return n;
}

void extend_data(Value& v, const Piece& p)
{
    if (!v.has_data || p.first < v.lowest)
        v.lowest = static_cast<uint32_t>(p.first);
    if (!v.has_data || p.last > v.highest)
        v.highest = static_cast<uint32_t>(p.last);
    v.has_data = true;
}

// Bytes into a checksum's or digest's engine, and a digest's message file:
// through the hasher's thread in the writing pass.
void absorb(ValueState& values, Value& v, const uint8_t* bytes, size_t n)
{
    if (values.hasher) {
        hash_span_bytes(*values.hasher, v, bytes, n);
        return;
    }
    engine_update(v.engine, bytes, n);
    if (v.message && v.message_error == 0 && std::fwrite(bytes, 1, n, v.message) != n)
        v.message_error = errno ? errno : EIO;
}

// Whether a pass still works v out from its span. A digest is worked out by
// every pass, even when a pre-pass knew it: the writing pass writes what it
// hashes and checks that it comes out the same.
bool open_span(const Value& v)
{
    return v.kind == VALUE_DIGEST || !v.known;
}

// Bytes into v as span bytes: a checksum's engine, or a field's data extents
// when the bytes are data.
void feed(ValueState& values, Value& v, uint32_t address, const uint8_t* bytes, size_t n, bool data)
{
    if (!open_span(v) || n == 0)
        return;
    Piece pieces[2];
    const int count = span_pieces(v, address, uint64_t{address} + n - 1, pieces);
    for (int i = 0; i < count; ++i) {
        if (value_hashes_span(v))
            absorb(values, v, bytes + (pieces[i].first - address),
                   static_cast<size_t>(pieces[i].last - pieces[i].first + 1));
        else if (data)
            extend_data(v, pieces[i]);
    }
}

// Every value and digest of range r.
template <typename Each>
void each_of_range(ValueState& values, const RomRange& r, Each each)
{
    for (std::vector<Value>* list : {&values.list, &values.digests})
        for (Value& v : *list)
            if (v.range == &r)
                each(v);
}

// The bytes of the fill pattern that holes count as: the fill value in the
// target's byte order, repeated every two bytes from the range's origin.
void feed_fill(ValueState& values, bool big, Value& v, uint32_t first, uint64_t count)
{
    const RomRange& r = *v.range;
    const uint8_t f0 = static_cast<uint8_t>(big ? r.fill >> 8 : r.fill);
    const uint8_t f1 = static_cast<uint8_t>(big ? r.fill : r.fill >> 8);
    uint8_t block[256];
    const size_t parity = (first - r.origin) & 1;
    for (size_t i = 0; i < sizeof block; ++i)
        block[i] = ((i + parity) & 1) ? f1 : f0;
    while (count > 0) {
        size_t n = static_cast<size_t>(std::min<uint64_t>(count, sizeof block));
        absorb(values, v, block, n);
        count -= n;
    }
}

// The value of a field from the data extents of its span.
uint32_t field_value(const Value& v)
{
    switch (v.kind) {
    case VALUE_LENGTH: return v.highest - v.lowest + 1;
    case VALUE_FIRST: return v.lowest;
    case VALUE_LAST: return v.highest;
    default: return v.constant;
    }
}

}  // namespace

Value* pending_slot(ValueState& values, const RomRange& r)
{
    for (Value& v : values.list)
        if (v.range == &r && !v.written)
            return &v;
    return nullptr;
}

bool values_take_fill(const ValueState& values, const RomRange& r)
{
    for (const std::vector<Value>* list : {&values.list, &values.digests})
        for (const Value& v : *list)
            if (v.range == &r && value_hashes_span(v) && open_span(v))
                return true;
    return false;
}

void values_data(ValueState& values, const RomRange& r, uint32_t address, const uint8_t* data, size_t n)
{
    each_of_range(values, r, [&](Value& v) { feed(values, v, address, data, n, true); });
}

void values_fill(ValueState& values, const RomRange& r, uint32_t address, const uint8_t* data, size_t n)
{
    each_of_range(values, r, [&](Value& v) {
        if (value_hashes_span(v))
            feed(values, v, address, data, n, false);
    });
}

void values_hole(ValueState& values, bool big_endian, const RomRange& r, uint32_t first, uint32_t last)
{
    each_of_range(values, r, [&](Value& v) {
        if (!value_hashes_span(v) || !open_span(v))
            return;
        Piece pieces[2];
        const int count = span_pieces(v, first, last, pieces);
        for (int i = 0; i < count; ++i) {
            const uint64_t bytes = pieces[i].last - pieces[i].first + 1;
            v.unwritten += bytes;
            if (v.holes != HOLES_SKIP)
                feed_fill(values, big_endian, v, static_cast<uint32_t>(pieces[i].first), bytes);
        }
    });
}

void values_slot(ValueState& values, const Value& slot, uint32_t address, const uint8_t* bytes, size_t n)
{
    each_of_range(values, *slot.range, [&](Value& v) {
        if (&v == &slot || !open_span(v))
            return;
        Piece pieces[2];
        if (value_hashes_span(v) && !slot.known && span_pieces(v, address, uint64_t{address} + n - 1, pieces))
            v.tainted = true;
        // a stamp is data, as a slot over a section's placeholder is
        feed(values, v, address, bytes, n, slot.placeholder != nullptr || slot.kind == VALUE_STAMP);
    });
}

bool take_value(Diagnostics& d, ValueState& values, Value& v)
{
    if (!v.known && v.kind == VALUE_CHECKSUM && !v.ahead && !v.tainted) {
        drain_span_hasher(values);
        take_engine_value(v, v.engine);
        v.known = true;
    }
    if (!v.known)
        return false;
    warn_holes(d, v);
    return true;
}

void warn_holes(Diagnostics& d, const Value& v)
{
    if (value_hashes_span(v) && v.unwritten != 0 && v.holes == HOLES_UNSAID)
        report(d, SEVERITY_WARNING,
               "%s %s of range '%s' counts %llu unwritten bytes as the fill value 0x%04lx; give holes=fill or "
               "holes=skip",
               v.option.c_str(), v.algorithm.name, v.range->name.c_str(), static_cast<unsigned long long>(v.unwritten),
               hex(v.range->fill));
}

void start_value_pass(ValueState& values)
{
    for (std::vector<Value>* list : {&values.list, &values.digests}) {
        for (Value& v : *list) {
            v.written = false;
            if (!open_span(v))
                continue;
            if (value_hashes_span(v))
                engine_start(v.engine, v.algorithm);
            v.unwritten = 0;
            v.tainted = false;
            v.has_data = false;
        }
    }
}

bool keep_values_ahead(ValueState& values, const ValueState& pass)
{
    bool progress = false;
    for (auto lists : {std::pair{&values.list, &pass.list}, std::pair{&values.digests, &pass.digests}}) {
        for (size_t i = 0; i < lists.first->size(); ++i) {
            Value& v = (*lists.first)[i];
            const Value& p = (*lists.second)[i];
            if (v.known || !v.ahead || (value_hashes_span(v) && p.tainted))
                continue;
            v.unwritten = p.unwritten;
            v.has_data = p.has_data;
            v.lowest = p.lowest;
            v.highest = p.highest;
            if (value_hashes_span(v)) {
                take_engine_value(v, p.engine);
            } else {
                v.number = field_value(v);
                set_value_number(v, v.number);
            }
            v.known = true;
            progress = true;
        }
    }
    return progress;
}

void finish_digests(ValueState& values, Diagnostics& d)
{
    drain_span_hasher(values);
    for (Value& v : values.digests) {
        const std::vector<uint8_t> ahead = v.bytes;
        take_engine_value(v, v.engine);
        if (v.known && ahead != v.bytes)
            internal_error(d, "the digest of %s '%s' differs from its pre-pass", v.option.c_str(), v.text.c_str());
        v.known = true;
        warn_holes(d, v);
    }
}

}  // namespace khex
