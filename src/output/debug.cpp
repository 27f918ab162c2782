// DEBUG: a readable trace of the framework's calls, one line per record.
#include <cstring>

#include "output/hex.h"
#include "output/writers.h"

namespace khex {

namespace {

constexpr size_t DEBUG_THRESHOLD = 68;

}  // namespace

void debug_writer(WriterContext& w, int op, OutputStream& stream, const uint8_t* data, int nbytes)
{
    char* line = stream.line.data();
    switch (op) {
    case OP_START_FILE:
        write_text(w, stream, "*** FILE HEADER ***\n", 20);
        break;
    case OP_NEW_ADDRESS:
        if (stream.fill != 0)
            debug_writer(w, OP_END_RECORD, stream, nullptr, 0);
        std::memcpy(line, "ADDR:", 5);
        put_hex_lower(line + 5, w.record_address, 8);
        std::memcpy(line + 13, ": DATA:", 7);
        stream.fill = 20;
        break;
    case OP_DATA:
        if (stream.fill >= DEBUG_THRESHOLD)
            debug_writer(w, OP_END_RECORD, stream, nullptr, 0);
        if (stream.fill == 0)
            debug_writer(w, OP_NEW_ADDRESS, stream, nullptr, 0);
        stream.fill += static_cast<size_t>(hex_encode(line + stream.fill, data, nbytes));
        line[stream.fill++] = ' ';
        break;
    case OP_END_RECORD:
        std::memcpy(line + stream.fill, ":END:\n", 6);
        stream.fill += 6;
        write_line(w, stream);
        break;
    case OP_END_FILE:
        write_text(w, stream, "*** FILE FOOTER ***\n", 20);
        break;
    default:
        break;
    }
}

}  // namespace khex
