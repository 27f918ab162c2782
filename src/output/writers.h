// What the record writers share: the dispatch of the operations that Intel,
// Motorola and Extended Tektronix handle alike, the end of a counted record,
// and the loop of data operations over a run of them.
#pragma once
#include <algorithm>
#include <cstring>
#include <string>

#include "output/hex.h"
#include "output/stream.h"

namespace khex {

// The operations that Intel, Motorola and Extended Tektronix handle alike, given
// their procedures that take an explicit address. Returns false for the other
// operations, which each format handles itself.
template <void (*new_address)(WriterContext&, OutputStream&, uint32_t),
          void (*data_operation)(WriterContext&, OutputStream&, const uint8_t*, int, uint32_t),
          void (*end_record)(WriterContext&, OutputStream&)>
bool record_operation(WriterContext& w, int op, OutputStream& stream, const uint8_t* bytes, int nbytes)
{
    switch (op) {
    case OP_NEW_ADDRESS:
        new_address(w, stream, w.record_address);
        return true;
    case OP_DATA:
        data_operation(w, stream, bytes, nbytes, w.record_address);
        return true;
    case OP_END_RECORD:
        end_record(w, stream);
        return true;
    default:
        return false;
    }
}

// Ends an Intel or Motorola record: its count over the two placeholder digits
// at count_at, then the checksum byte and the line end after the data.
inline void finish_counted_record(WriterContext& w, OutputStream& stream, size_t count_at, uint32_t count, uint32_t checksum)
{
    char* line = stream.line.data();
    put_hex(line + count_at, count, 2);
    put_hex(line + stream.fill, checksum & 0xFF, 2);
    line[stream.fill + 2] = '\n';
    stream.fill += 3;
    write_line(w, stream);
}

// The digits of `ops` repeated operations (operation k equals operation
// k - period) from data on; the digits of the last such record are reused when
// they were made from the same bytes. Returns the sum of the bytes (DIGITS:
// of their digit values).
template <bool DIGITS>
uint32_t repeated_digits(OutputStream& stream, char* out, const uint8_t* data, int ops, int op_bytes, int stride,
                         int period)
{
    RepeatedDigits& r = stream.repeated;
    const size_t chars = 2 * static_cast<size_t>(ops) * static_cast<size_t>(op_bytes);
    uint8_t source[2 * 256];
    const int kept = std::min(period, ops);
    for (int k = 0; k < kept; ++k)
        std::memcpy(source + k * op_bytes, data + static_cast<size_t>(k) * static_cast<size_t>(stride),
                    static_cast<size_t>(op_bytes));
    const size_t source_bytes = static_cast<size_t>(kept) * static_cast<size_t>(op_bytes);
    if (r.ops == ops && r.op_bytes == op_bytes && r.source.size() == source_bytes &&
        std::memcmp(r.source.data(), source, source_bytes) == 0) {
        std::memcpy(out, r.digits.data(), chars);
        return r.sum;
    }
    const uint32_t sum = hex_encode_ops<DIGITS>(out, data, ops, op_bytes, stride);
    r.source.assign(source, source + source_bytes);
    r.ops = ops;
    r.op_bytes = op_bytes;
    r.digits.assign(out, out + chars);
    r.sum = sum;
    return sum;
}

// Whether the record being built takes no further operation of op_chars
// digits: it holds -reclen's bytes, or has reached the format's threshold
// (past which a record takes no operation more).
inline bool record_full(const OutputStream& stream, size_t threshold, size_t op_chars)
{
    if (stream.fill == 0)
        return false;
    return stream.limit ? stream.fill + op_chars > stream.limit : stream.fill >= threshold;
}

// Operations of op_chars digits that the record being built still takes.
inline uint64_t operations_that_fit(const OutputStream& stream, size_t threshold, size_t op_chars)
{
    return stream.limit ? (stream.limit - stream.fill) / op_chars : (threshold - stream.fill + op_chars - 1) / op_chars;
}

// After a record's header: where -reclen's bytes fill it.
inline void start_record_limit(const WriterContext& w, OutputStream& stream)
{
    stream.limit = w.record_bytes ? stream.fill + 2 * static_cast<size_t>(w.record_bytes) : 0;
}

// The digits of one ROM word, the first byte the most significant; a byte
// missing from the end of a partial word counts as 00. Returns the digits
// written: two per byte of the ROM width.
// Room for n more characters at the end of the stream's block: the writer
// puts them there and adds what it put to block_used.
inline char* block_room(WriterContext& w, OutputStream& stream, size_t n)
{
    if (stream.block_used + n > stream.block.size())
        flush_block(w, stream);
    return stream.block.data() + stream.block_used;
}

inline size_t word_digits(char* out, const uint8_t* data, int nbytes, int romwidth)
{
    for (int i = 0; i < romwidth; ++i)
        std::memcpy(out + 2 * i, HEX_PAIRS.digits + 2 * (i < nbytes ? data[i] : 0), 2);
    return 2 * static_cast<size_t>(romwidth);
}

// "range CODE, lane b0..b7": what a device file's heading says it holds.
inline std::string lane_heading(const WriterContext& w, const OutputStream& stream)
{
    return "range " + (w.range_name ? *w.range_name : std::string()) + ", lane b" +
           std::to_string(stream.bits.first_bit) + "..b" + std::to_string(stream.bits.last_bit);
}

// What a format's data operation writes for each operation of a run, a
// record's worth of operations at a time: those that fit before the record's
// threshold and, when NEW_UPPER_16 is set (Intel), before the upper 16 bits
// of the address change. DIGITS: the checksum sums digit values, not bytes.
// Each record of repeated operations still gets its own address and checksum.
template <size_t THRESHOLD, void (*new_address)(WriterContext&, OutputStream&, uint32_t),
          void (*end_record)(WriterContext&, OutputStream&), bool NEW_UPPER_16, bool DIGITS = false>
void write_run(WriterContext& w, OutputStream& stream, const uint8_t* bytes, int ops, int op_bytes, int stride,
               uint32_t address, uint32_t step, int period)
{
    const size_t op_chars = 2 * static_cast<size_t>(op_bytes);
    const bool reuse = period > 0 && period <= 2 && op_bytes <= 256;
    while (ops > 0) {
        if (record_full(stream, THRESHOLD, op_chars))
            end_record(w, stream);
        if (stream.fill == 0 || (NEW_UPPER_16 && (address >> 16) != (stream.last_address >> 16)))
            new_address(w, stream, address);
        uint64_t n = std::min(static_cast<uint64_t>(ops), operations_that_fit(stream, THRESHOLD, op_chars));
        if (NEW_UPPER_16)
            n = std::min(n, (uint64_t{address | 0xFFFF} - address) / step + 1);
        const int count = static_cast<int>(n);
        char* out = stream.line.data() + stream.fill;
        stream.sum += reuse ? repeated_digits<DIGITS>(stream, out, bytes, count, op_bytes, stride, period)
                            : hex_encode_ops<DIGITS>(out, bytes, count, op_bytes, stride);
        stream.fill += n * op_chars;
        stream.last_address = address + static_cast<uint32_t>(count - 1) * step;
        bytes += n * static_cast<size_t>(stride);
        address += static_cast<uint32_t>(count) * step;
        ops -= count;
    }
}

}  // namespace khex
