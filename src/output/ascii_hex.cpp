// ASCII-Hex: STX, lines of up to 24 bytes each followed by a blank, "$A" address
// marks on lines of their own at every gap, ETX.
#include <cstdio>

#include "driver/run.h"
#include "output/hex.h"
#include "output/writers.h"

namespace khex {

namespace {

constexpr size_t ASCII_HEX_THRESHOLD = 72;

}  // namespace

void ascii_hex_writer(Run& run, int op, OutputStream& stream, const uint8_t* data, int nbytes)
{
    char* line = stream.line.data();
    switch (op) {
    case OP_START_FILE:
        write_text(run, stream, "\x02\n", 2);
        break;
    case OP_NEW_ADDRESS: {
        if (stream.fill != 0)
            ascii_hex_writer(run, OP_END_RECORD, stream, nullptr, 0);
        char mark[32];
        int n = std::snprintf(mark, sizeof mark, "$A%04lx,\n", static_cast<unsigned long>(record_address(run)));
        write_text(run, stream, mark, static_cast<size_t>(n));
        break;
    }
    case OP_DATA:
        for (int i = 0; i < nbytes; ++i) {
            if (stream.fill >= ASCII_HEX_THRESHOLD)
                ascii_hex_writer(run, OP_END_RECORD, stream, nullptr, 0);
            line[stream.fill++] = HEX_DIGITS[data[i] >> 4];
            line[stream.fill++] = HEX_DIGITS[data[i] & 0xF];
            line[stream.fill++] = ' ';
        }
        break;
    case OP_END_RECORD:
        line[stream.fill++] = '\n';
        write_line(run, stream);
        break;
    case OP_END_FILE:
        write_text(run, stream, "\x03", 1);
        break;
    default:
        break;
    }
}

}  // namespace khex
