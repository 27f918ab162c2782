// Motorola S-records: an S0 header, S1, S2 or S3 data records by the format
// chosen, and the matching S9, S8 or S7 end record. Addresses a record type
// cannot carry are cut with a warning once per section.
#include <cstring>

#include "output/writers.h"

namespace khex {

namespace {

constexpr size_t MOTOROLA_THRESHOLD = 69;

struct RecordType {
    char data_type;
    int address_digits;
    const char* end_record;
};

const RecordType S1 = {'1', 4, "S9030000FC\n"};
const RecordType S2 = {'2', 6, "S804000000FB\n"};
const RecordType S3 = {'3', 8, "S70500000000FA\n"};

// The row's variant is the S-record type of its data records.
const RecordType& record_type(const WriterContext& w)
{
    switch (w.variant) {
    case 1: return S1;
    case 3: return S3;
    default: return S2;
    }
}

void end_record(WriterContext& w, OutputStream& stream)
{
    // the count covers address, data and the checksum byte
    uint32_t count = static_cast<uint32_t>((stream.fill - 2) / 2);
    finish_counted_record(w, stream, 2, count, ~(count + stream.sum));
}

void new_address(WriterContext& w, OutputStream& stream, uint32_t address)
{
    if (stream.fill != 0)
        end_record(w, stream);
    const RecordType& type = record_type(w);
    uint32_t field = address;
    if (type.address_digits == 4 && (address & 0xFFFF0000)) {
        if (first_warning(w, w.truncation.motorola))
            report(*w.diagnostics, SEVERITY_WARNING, "address 0x%08lx exceeds 4 digits - truncated (use -m or -m2)",
                   static_cast<unsigned long>(address));
        field &= 0xFFFF;
    } else if (type.address_digits == 6 && (address & 0xFF000000)) {
        if (first_warning(w, w.truncation.motorola))
            report(*w.diagnostics, SEVERITY_WARNING, "address 0x%08lx exceeds 6 digits - truncated (use -m3)",
                   static_cast<unsigned long>(address));
        field &= 0xFFFFFF;
    }
    char* line = stream.line.data();
    line[0] = 'S';
    line[1] = type.data_type;
    line[2] = line[3] = '0';
    put_hex(line + 4, field, type.address_digits);
    stream.fill = 4 + static_cast<size_t>(type.address_digits);
    stream.sum = (field >> 24) + ((field >> 16) & 0xFF) + ((field >> 8) & 0xFF) + (field & 0xFF);
    start_record_limit(w, stream);
    stream.last_address = address;
}

inline void data(WriterContext& w, OutputStream& stream, const uint8_t* bytes, int nbytes, uint32_t address)
{
    if (record_full(stream, MOTOROLA_THRESHOLD, 2 * static_cast<size_t>(nbytes)))
        end_record(w, stream);
    if (stream.fill == 0)
        new_address(w, stream, address);
    stream.sum += hex_encode_summing(stream.line.data() + stream.fill, bytes, nbytes);
    stream.fill += 2 * static_cast<size_t>(nbytes);
    stream.last_address = address;
}

}  // namespace

void motorola_writer(WriterContext& w, int op, OutputStream& stream, const uint8_t* bytes, int nbytes)
{
    if (record_operation<new_address, data, end_record>(w, op, stream, bytes, nbytes))
        return;
    if (op == OP_START_FILE) {
        write_text(w, stream, "S00600004844521B\n", 17);
    } else if (op == OP_END_FILE) {
        const char* end = record_type(w).end_record;
        write_text(w, stream, end, std::strlen(end));
    }
}

void motorola_run(WriterContext& w, OutputStream& stream, const uint8_t* bytes, int ops, int op_bytes, int stride,
                  uint32_t address, uint32_t step, int period)
{
    write_run<MOTOROLA_THRESHOLD, new_address, end_record, false>(w, stream, bytes, ops, op_bytes, stride, address, step,
                                                                  period);
}

}  // namespace khex
