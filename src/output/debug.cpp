// DEBUG: a readable trace of the framework's calls, one line per record.
#include <cstring>

#include "driver/run.h"
#include "output/hex.h"
#include "output/writers.h"

namespace khex {

namespace {

constexpr size_t DEBUG_THRESHOLD = 68;

}  // namespace

void debug_writer(Run& run, int op, OutputStream& stream, const uint8_t* data, int nbytes)
{
    char* line = stream.line.data();
    switch (op) {
    case OP_START_FILE:
        write_text(run, stream, "*** FILE HEADER ***\n", 20);
        break;
    case OP_NEW_ADDRESS:
        if (stream.fill != 0)
            debug_writer(run, OP_END_RECORD, stream, nullptr, 0);
        std::memcpy(line, "ADDR:", 5);
        put_hex_lower(line + 5, record_address(run), 8);
        std::memcpy(line + 13, ": DATA:", 7);
        stream.fill = 20;
        break;
    case OP_DATA:
        if (stream.fill >= DEBUG_THRESHOLD)
            debug_writer(run, OP_END_RECORD, stream, nullptr, 0);
        if (stream.fill == 0)
            debug_writer(run, OP_NEW_ADDRESS, stream, nullptr, 0);
        stream.fill += static_cast<size_t>(hex_encode(line + stream.fill, data, nbytes));
        line[stream.fill++] = ' ';
        break;
    case OP_END_RECORD:
        std::memcpy(line + stream.fill, ":END:\n", 6);
        stream.fill += 6;
        write_line(run, stream);
        break;
    case OP_END_FILE:
        write_text(run, stream, "*** FILE FOOTER ***\n", 20);
        break;
    default:
        break;
    }
}

void debug_run(Run& run, OutputStream& stream, const uint8_t* bytes, int ops, int op_bytes, int stride,
               uint32_t address, uint32_t step, int)
{
    write_run_by_operation<debug_writer>(run, stream, bytes, ops, op_bytes, stride, address, step);
}

}  // namespace khex
