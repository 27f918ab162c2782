// Binary: the data bytes exactly; addresses and gaps leave no trace.
#include "output/writers.h"

namespace khex {

void binary_writer(WriterContext& w, int op, OutputStream& stream, const uint8_t* data, int nbytes)
{
    if (op == OP_DATA)
        write_text(w, stream, reinterpret_cast<const char*>(data), static_cast<size_t>(nbytes));
}

void binary_run(WriterContext& w, OutputStream& stream, const uint8_t* bytes, int ops, int op_bytes, int stride,
                uint32_t address, uint32_t step, int)
{
    if (op_bytes == stride)  // one lane: the bytes as they are, in one piece
        write_text(w, stream, reinterpret_cast<const char*>(bytes), static_cast<size_t>(ops) * op_bytes);
    else
        write_run_by_operation(binary_writer, w, stream, bytes, ops, op_bytes, stride, address, step);
}

}  // namespace khex
