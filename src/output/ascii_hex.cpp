// ASCII-Hex: STX, lines of up to 24 bytes each followed by a blank, "$A" address
// marks on lines of their own at every gap, ETX.
#include "output/hex.h"
#include "output/writers.h"

namespace khex {

namespace {

constexpr size_t ASCII_HEX_THRESHOLD = 72;

}  // namespace

void ascii_hex_writer(WriterContext& w, int op, OutputStream& stream, const uint8_t* data, int nbytes)
{
    char* line = stream.line.data();
    switch (op) {
    case OP_START_FILE:
        write_text(w, stream, "\x02\n", 2);
        break;
    case OP_NEW_ADDRESS: {
        if (stream.fill != 0)
            ascii_hex_writer(w, OP_END_RECORD, stream, nullptr, 0);
        char mark[16] = "$A";
        char* end = put_hex_lower(mark + 2, w.record_address, 4);
        *end++ = ',';
        *end++ = '\n';
        write_text(w, stream, mark, static_cast<size_t>(end - mark));
        break;
    }
    case OP_DATA:
        for (int i = 0; i < nbytes; ++i) {
            if (stream.fill >= ASCII_HEX_THRESHOLD)
                ascii_hex_writer(w, OP_END_RECORD, stream, nullptr, 0);
            hex_encode(line + stream.fill, data + i, 1);
            line[stream.fill + 2] = ' ';
            stream.fill += 3;
        }
        break;
    case OP_END_RECORD:
        line[stream.fill++] = '\n';
        write_line(w, stream);
        break;
    case OP_END_FILE:
        write_text(w, stream, "\x03", 1);
        break;
    default:
        break;
    }
}

}  // namespace khex
