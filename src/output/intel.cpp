// Intel hex: data records of at most 32 bytes, an extended linear address
// record whenever the upper 16 bits of the address change, an end record.
#include <cstring>

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

}  // namespace

void intel_writer(int op, OutputStream& stream, const uint8_t* data, int nbytes)
{
    char* line = stream.line.data();
    switch (op) {
    case OP_NEW_ADDRESS: {
        if (stream.fill != 0)
            intel_writer(OP_END_RECORD, stream, nullptr, 0);
        uint32_t address = record_address();
        if (upper_changed(address, stream.last_address)) {
            std::memcpy(line, ":02000004", 9);
            put_hex(line + 9, address >> 16, 4);
            stream.fill = 13;
            intel_writer(OP_END_RECORD, stream, nullptr, 0);
        }
        std::memcpy(line, ":00", 3);
        put_hex(line + 3, address & 0xFFFF, 4);
        std::memcpy(line + 7, "00", 2);
        stream.fill = INTEL_HEADER;
        stream.last_address = address;
        break;
    }
    case OP_DATA: {
        if (stream.fill >= INTEL_THRESHOLD)
            intel_writer(OP_END_RECORD, stream, nullptr, 0);
        uint32_t address = record_address();
        if (stream.fill == 0 || upper_changed(address, stream.last_address))
            intel_writer(OP_NEW_ADDRESS, stream, nullptr, 0);
        stream.fill += static_cast<size_t>(hex_encode(line + stream.fill, data, nbytes));
        stream.last_address = address;
        break;
    }
    case OP_END_RECORD: {
        put_hex(line + 1, static_cast<uint32_t>((stream.fill - INTEL_HEADER) / 2), 2);
        unsigned sum = 0;
        for (size_t i = 1; i + 1 < stream.fill; i += 2)
            sum += static_cast<unsigned>(hex_value(line[i]) << 4 | hex_value(line[i + 1]));
        put_hex(line + stream.fill, (0u - sum) & 0xFF, 2);
        line[stream.fill + 2] = '\n';
        stream.fill += 3;
        write_line(stream);
        break;
    }
    case OP_END_FILE:
        write_text(stream, ":00000001FF\n", 12);
        break;
    default:
        break;
    }
}

}  // namespace khex
