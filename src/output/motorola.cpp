// Motorola S-records: an S0 header, S1, S2 or S3 data records by the format
// chosen, and the matching S9, S8 or S7 end record. Addresses a record type
// cannot carry are cut with a warning once per section.
#include <cstring>

#include "driver/diagnostics.h"
#include "driver/options.h"
#include "output/framework.h"
#include "output/hex.h"
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

const RecordType& record_type()
{
    switch (options.format) {
    case FORMAT_MOTOROLA_S1: return S1;
    case FORMAT_MOTOROLA_S3: return S3;
    default: return S2;
    }
}

}  // namespace

void motorola_writer(int op, OutputStream& stream, const uint8_t* data, int nbytes)
{
    char* line = stream.line.data();
    const RecordType& type = record_type();
    switch (op) {
    case OP_START_FILE:
        write_text(stream, "S00600004844521B\n", 17);
        break;
    case OP_NEW_ADDRESS: {
        if (stream.fill != 0)
            motorola_writer(OP_END_RECORD, stream, nullptr, 0);
        uint32_t address = record_address();
        uint32_t field = address;
        if (type.address_digits == 4 && (address & 0xFFFF0000)) {
            if (first_warning_for_spec(truncation_warnings.motorola_spec))
                report(SEVERITY_WARNING, "address 0x%08lx exceeds 4 digits - truncated (use -m or -m2)",
                       static_cast<unsigned long>(address));
            field &= 0xFFFF;
        } else if (type.address_digits == 6 && (address & 0xFF000000)) {
            if (first_warning_for_spec(truncation_warnings.motorola_spec))
                report(SEVERITY_WARNING, "address 0x%08lx exceeds 6 digits - truncated (use -m3)",
                       static_cast<unsigned long>(address));
            field &= 0xFFFFFF;
        }
        line[0] = 'S';
        line[1] = type.data_type;
        line[2] = line[3] = '0';
        put_hex(line + 4, field, type.address_digits);
        stream.fill = 4 + static_cast<size_t>(type.address_digits);
        stream.last_address = address;
        break;
    }
    case OP_DATA:
        if (stream.fill >= MOTOROLA_THRESHOLD)
            motorola_writer(OP_END_RECORD, stream, nullptr, 0);
        if (stream.fill == 0)
            motorola_writer(OP_NEW_ADDRESS, stream, nullptr, 0);
        stream.fill += static_cast<size_t>(hex_encode(line + stream.fill, data, nbytes));
        stream.last_address = record_address();
        break;
    case OP_END_RECORD: {
        // the count covers address, data and the checksum byte
        put_hex(line + 2, static_cast<uint32_t>((stream.fill - 2) / 2), 2);
        unsigned sum = 0;
        for (size_t i = 2; i + 1 < stream.fill; i += 2)
            sum += static_cast<unsigned>(hex_value(line[i]) << 4 | hex_value(line[i + 1]));
        put_hex(line + stream.fill, ~sum & 0xFF, 2);
        line[stream.fill + 2] = '\n';
        stream.fill += 3;
        write_line(stream);
        break;
    }
    case OP_END_FILE:
        write_text(stream, type.end_record, std::strlen(type.end_record));
        break;
    default:
        break;
    }
}

}  // namespace khex
