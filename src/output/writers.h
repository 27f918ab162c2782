// What the record writers share: the dispatch of the operations that Intel,
// Motorola and Extended Tektronix handle alike, the end of a counted record,
// and the loop of data operations over a run.
#pragma once
#include "output/framework.h"
#include "output/hex.h"
#include "output/stream.h"

namespace khex {

// The address the writers put into records.
uint32_t record_address(const Run& run);

// The operations that Intel, Motorola and Extended Tektronix handle alike, given
// their procedures that take an explicit address. Returns false for the other
// operations, which each format handles itself.
template <void (*new_address)(Run&, OutputStream&, uint32_t),
          void (*data_operation)(Run&, OutputStream&, const uint8_t*, int, uint32_t),
          void (*end_record)(Run&, OutputStream&)>
bool record_operation(Run& run, int op, OutputStream& stream, const uint8_t* bytes, int nbytes)
{
    switch (op) {
    case OP_NEW_ADDRESS:
        new_address(run, stream, record_address(run));
        return true;
    case OP_DATA:
        data_operation(run, stream, bytes, nbytes, record_address(run));
        return true;
    case OP_END_RECORD:
        end_record(run, stream);
        return true;
    default:
        return false;
    }
}

// Ends an Intel or Motorola record: its count over the two placeholder digits
// at count_at, then the checksum byte and the line end after the data.
inline void finish_counted_record(Run& run, OutputStream& stream, size_t count_at, uint32_t count, uint32_t checksum)
{
    char* line = stream.line.data();
    put_hex(line + count_at, count, 2);
    put_hex(line + stream.fill, checksum & 0xFF, 2);
    line[stream.fill + 2] = '\n';
    stream.fill += 3;
    write_line(run, stream);
}

// A format's data operation with an explicit address, repeated over a run of
// operations as DataRunWriter describes.
template <void (*data_operation)(Run&, OutputStream&, const uint8_t*, int, uint32_t)>
void run_data_operations(Run& run, OutputStream& stream, const uint8_t* bytes, int ops, int op_bytes, int stride,
                         uint32_t address, uint32_t step)
{
    for (int k = 0; k < ops; ++k, bytes += stride, address += step)
        data_operation(run, stream, bytes, op_bytes, address);
}

}  // namespace khex
