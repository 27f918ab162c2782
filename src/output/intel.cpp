// Intel hex: data records of at most 32 bytes, an extended linear address
// record whenever the upper 16 bits of the address change, an end record.
#include "output/framework.h"
#include "output/hex.h"
#include "output/writers.h"

namespace khex {

namespace {

constexpr size_t INTEL_THRESHOLD = 73;
constexpr size_t INTEL_HEADER = 9;  // ":", count, address, type

bool upper_changed(uint32_t a, uint32_t b)
{
    return (a >> 16) != (b >> 16);
}

// Starts a record of the given type at a 16-bit address; the count and the
// checksum are filled in when it ends. stream.sum adds up its bytes.
void begin_record(OutputStream& stream, uint32_t address16, uint32_t type)
{
    char* line = stream.line.data();
    line[0] = ':';
    line[1] = line[2] = '0';
    put_hex(line + 3, address16, 4);
    put_hex(line + 7, type, 2);
    stream.fill = INTEL_HEADER;
    stream.sum = (address16 >> 8) + (address16 & 0xFF) + type;
}

void append_bytes(OutputStream& stream, const uint8_t* data, int nbytes)
{
    stream.sum += hex_encode_summing(stream.line.data() + stream.fill, data, nbytes);
    stream.fill += 2 * static_cast<size_t>(nbytes);
}

void end_record(WriterContext& w, OutputStream& stream)
{
    uint32_t count = static_cast<uint32_t>((stream.fill - INTEL_HEADER) / 2);
    finish_counted_record(w, stream, 1, count, 0u - (count + stream.sum));
}

void new_address(WriterContext& w, OutputStream& stream, uint32_t address)
{
    if (stream.fill != 0)
        end_record(w, stream);
    if (upper_changed(address, stream.last_address)) {
        begin_record(stream, 0, 4);
        uint8_t upper[2] = {static_cast<uint8_t>(address >> 24), static_cast<uint8_t>(address >> 16)};
        append_bytes(stream, upper, 2);
        end_record(w, stream);
    }
    begin_record(stream, address & 0xFFFF, 0);
    start_record_limit(w, stream);
    stream.last_address = address;
}

inline void data(WriterContext& w, OutputStream& stream, const uint8_t* bytes, int nbytes, uint32_t address)
{
    if (record_full(stream, INTEL_THRESHOLD, 2 * static_cast<size_t>(nbytes)))
        end_record(w, stream);
    if (stream.fill == 0 || upper_changed(address, stream.last_address))
        new_address(w, stream, address);
    append_bytes(stream, bytes, nbytes);
    stream.last_address = address;
}

}  // namespace

void intel_writer(WriterContext& w, int op, OutputStream& stream, const uint8_t* bytes, int nbytes)
{
    if (!record_operation<new_address, data, end_record>(w, op, stream, bytes, nbytes) && op == OP_END_FILE)
        write_text(w, stream, ":00000001FF\n", 12);
}

void intel_run(WriterContext& w, OutputStream& stream, const uint8_t* bytes, int ops, int op_bytes, int stride,
               uint32_t address, uint32_t step, int period)
{
    write_run<INTEL_THRESHOLD, new_address, end_record, true>(w, stream, bytes, ops, op_bytes, stride, address, step,
                                                              period);
}

}  // namespace khex
