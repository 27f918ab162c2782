// The record writer of each output format, called by the framework with the
// operation codes of WriterOp.
#pragma once
#include "output/framework.h"
#include "output/hex.h"
#include "output/stream.h"

namespace khex {

void debug_writer(int op, OutputStream& stream, const uint8_t* data, int nbytes);
void intel_writer(int op, OutputStream& stream, const uint8_t* data, int nbytes);
void motorola_writer(int op, OutputStream& stream, const uint8_t* data, int nbytes);
void zq_tagged_writer(int op, OutputStream& stream, const uint8_t* data, int nbytes);
void tektronix_writer(int op, OutputStream& stream, const uint8_t* data, int nbytes);
void ascii_hex_writer(int op, OutputStream& stream, const uint8_t* data, int nbytes);
void generic_writer(int op, OutputStream& stream, const uint8_t* data, int nbytes);
void binary_writer(int op, OutputStream& stream, const uint8_t* data, int nbytes);

// The operations that Intel, Motorola and Extended Tektronix handle alike, given
// their procedures that take an explicit address. Returns false for the other
// operations, which each format handles itself.
template <void (*new_address)(OutputStream&, uint32_t),
          void (*data_operation)(OutputStream&, const uint8_t*, int, uint32_t), void (*end_record)(OutputStream&)>
bool record_operation(int op, OutputStream& stream, const uint8_t* bytes, int nbytes)
{
    switch (op) {
    case OP_NEW_ADDRESS:
        new_address(stream, record_address());
        return true;
    case OP_DATA:
        data_operation(stream, bytes, nbytes, record_address());
        return true;
    case OP_END_RECORD:
        end_record(stream);
        return true;
    default:
        return false;
    }
}

// Ends an Intel or Motorola record: its count over the two placeholder digits
// at count_at, then the checksum byte and the line end after the data.
inline void finish_counted_record(OutputStream& stream, size_t count_at, uint32_t count, uint32_t checksum)
{
    char* line = stream.line.data();
    put_hex(line + count_at, count, 2);
    put_hex(line + stream.fill, checksum & 0xFF, 2);
    line[stream.fill + 2] = '\n';
    stream.fill += 3;
    write_line(stream);
}

// A format's data operation with an explicit address, repeated over a run of
// operations as DataRunWriter describes.
template <void (*data_operation)(OutputStream&, const uint8_t*, int, uint32_t)>
void run_data_operations(OutputStream& stream, const uint8_t* bytes, int ops, int op_bytes, int stride,
                         uint32_t address, uint32_t step)
{
    for (int k = 0; k < ops; ++k, bytes += stride, address += step)
        data_operation(stream, bytes, op_bytes, address);
}

void intel_run(OutputStream& stream, const uint8_t* data, int ops, int op_bytes, int stride, uint32_t address,
               uint32_t step);
void motorola_run(OutputStream& stream, const uint8_t* data, int ops, int op_bytes, int stride, uint32_t address,
                  uint32_t step);
void tektronix_run(OutputStream& stream, const uint8_t* data, int ops, int op_bytes, int stride, uint32_t address,
                   uint32_t step);

// Formats that cut addresses warn once per section spec: the section spec each writer
// last warned about. A run starts afresh.
struct TruncationWarnings {
    const void* motorola_spec;
    const void* zq_tagged_spec;
};
extern TruncationWarnings truncation_warnings;
void reset_truncation_warnings();

// True when there is a current spec that was not the last one warned about in
// last_warned; it then becomes the last one.
bool first_warning_for_spec(const void*& last_warned);

}  // namespace khex
