// Extended Tektronix: data records with a 32-bit address and a checksum that
// sums hex digit values, and a termination record with the entry point.
#include <cstring>

#include "base/text.h"

#include "output/writers.h"

namespace khex {

namespace {

constexpr size_t TEKTRONIX_THRESHOLD = 79;

// Digit values of the characters of a record add up to its checksum.
uint32_t nibble_sum(uint32_t value)
{
    uint32_t sum = 0;
    for (; value != 0; value >>= 4)
        sum += value & 0xF;
    return sum;
}

// Starts a record of type '6' or '8' with an 8-digit address; stream.sum adds
// up the digit values after the length and the checksum.
void begin_record(OutputStream& stream, const char* start, uint32_t address)
{
    char* line = stream.line.data();
    std::memcpy(line, start, 7);
    put_hex(line + 7, address, 8);
    stream.fill = 15;
    stream.sum = static_cast<uint32_t>(hex_digit(start[3])) + 8 + nibble_sum(address);
}

void end_record(WriterContext& w, OutputStream& stream)
{
    // the length counts the characters after "%"; the checksum sums the digit
    // values of all of them, its own still-zero digits included
    char* line = stream.line.data();
    uint32_t length = static_cast<uint32_t>(stream.fill - 1);
    put_hex(line + 1, length, 2);
    put_hex(line + 4, (nibble_sum(length & 0xFF) + stream.sum) & 0xFF, 2);
    line[stream.fill++] = '\n';
    write_line(w, stream);
}

void new_address(WriterContext& w, OutputStream& stream, uint32_t address)
{
    if (stream.fill != 0)
        end_record(w, stream);
    begin_record(stream, "%006008", address);
    start_record_limit(w, stream);
    stream.last_address = address;
}

inline void data(WriterContext& w, OutputStream& stream, const uint8_t* bytes, int nbytes, uint32_t address)
{
    if (record_full(stream, TEKTRONIX_THRESHOLD, 2 * static_cast<size_t>(nbytes)))
        end_record(w, stream);
    if (stream.fill == 0)
        new_address(w, stream, address);
    stream.sum += hex_encode_ops<true>(stream.line.data() + stream.fill, bytes, 1, nbytes, nbytes);
    stream.fill += 2 * static_cast<size_t>(nbytes);
    stream.last_address = address;
}

}  // namespace

void tektronix_writer(WriterContext& w, int op, OutputStream& stream, const uint8_t* bytes, int nbytes)
{
    if (!record_operation<new_address, data, end_record>(w, op, stream, bytes, nbytes) && op == OP_END_FILE) {
        // every file ends with a termination record carrying the entry point
        begin_record(stream, "%0E8008", w.entry_point);
        end_record(w, stream);
    }
}

void tektronix_run(WriterContext& w, OutputStream& stream, const uint8_t* bytes, int ops, int op_bytes, int stride,
                   uint32_t address, uint32_t step, int period)
{
    write_run<TEKTRONIX_THRESHOLD, new_address, end_record, false, true>(w, stream, bytes, ops, op_bytes, stride, address, step,
                                                                         period);
}

}  // namespace khex
