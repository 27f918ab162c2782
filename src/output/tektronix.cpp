// Extended Tektronix: data records with a 32-bit address and a checksum that
// sums hex digit values, and a termination record with the entry point.
#include <cstring>

#include "coff/loader.h"
#include "output/framework.h"
#include "output/hex.h"
#include "output/writers.h"

namespace khex {

namespace {

constexpr size_t TEKTRONIX_THRESHOLD = 79;

void begin_record(OutputStream& stream, const char* start, uint32_t address)
{
    char* line = stream.line.data();
    std::memcpy(line, start, 7);
    put_hex(line + 7, address, 8);
    stream.fill = 15;
}

}  // namespace

void tektronix_writer(int op, OutputStream& stream, const uint8_t* data, int nbytes)
{
    char* line = stream.line.data();
    switch (op) {
    case OP_NEW_ADDRESS:
        if (stream.fill != 0)
            tektronix_writer(OP_END_RECORD, stream, nullptr, 0);
        begin_record(stream, "%006008", record_address());
        stream.last_address = record_address();
        break;
    case OP_DATA:
        if (stream.fill >= TEKTRONIX_THRESHOLD)
            tektronix_writer(OP_END_RECORD, stream, nullptr, 0);
        if (stream.fill == 0)
            tektronix_writer(OP_NEW_ADDRESS, stream, nullptr, 0);
        stream.fill += static_cast<size_t>(hex_encode(line + stream.fill, data, nbytes));
        stream.last_address = record_address();
        break;
    case OP_END_RECORD: {
        // the length counts the characters after "%"; the checksum sums the digit
        // values of all of them, its own still-zero digits included
        put_hex(line + 1, static_cast<uint32_t>(stream.fill - 1), 2);
        unsigned sum = 0;
        for (size_t i = 1; i < stream.fill; ++i)
            sum += static_cast<unsigned>(hex_value(line[i]));
        put_hex(line + 4, sum & 0xFF, 2);
        line[stream.fill++] = '\n';
        write_line(stream);
        break;
    }
    case OP_END_FILE:
        begin_record(stream, "%0E8008", coff.coff_entry_point);
        tektronix_writer(OP_END_RECORD, stream, nullptr, 0);
        break;
    default:
        break;
    }
}

}  // namespace khex
