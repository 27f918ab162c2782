// Binary: the data bytes exactly; addresses and gaps leave no trace.
#include "driver/run.h"
#include "output/writers.h"

namespace khex {

void binary_writer(Run& run, int op, OutputStream& stream, const uint8_t* data, int nbytes)
{
    if (op == OP_DATA)
        write_text(run, stream, reinterpret_cast<const char*>(data), static_cast<size_t>(nbytes));
}

}  // namespace khex
