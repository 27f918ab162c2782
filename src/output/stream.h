// One open output file and the writer interface every output format implements.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace khex {

struct Run;

// Finished records collect in a block of this size, which goes to the file
// in one write when it is full.
constexpr size_t OUTPUT_BLOCK = 256 * 1024;

// The digits of the data of a record of repeated operations, and what they
// were made from.
struct RepeatedDigits {
    std::vector<uint8_t> source;  // the period's bytes
    int ops = 0;
    int op_bytes = 0;
    std::vector<char> digits;
    uint32_t sum = 0;
};

struct OutputStream {
    FILE* file;
    size_t fill;              // length of the record being built in line
    uint32_t last_address;    // record_address the writer last saw
    std::vector<char> line;   // the record being built; sized for the widest data operation
    bool address_written;     // meaning belongs to the writer (ZQ-Tagged, Generic)
    uint32_t sum;             // running checksum of the record being built; meaning belongs to the writer
    const std::string* name;  // file name for messages
    std::vector<char> block;  // finished records not yet written
    size_t block_used;
    RepeatedDigits repeated;
};

enum WriterOp {
    OP_START_FILE = 1,
    OP_NEW_ADDRESS = 2,
    OP_DATA = 3,
    OP_END_RECORD = 4,
    OP_END_FILE = 5,
};

using RecordWriter = void (*)(Run& run, int op, OutputStream& stream, const uint8_t* data, int nbytes);

// Every format's data path: `ops` data operations of `op_bytes` bytes,
// operation k taken from data + k * stride and addressed at address + k * step,
// written exactly as that many OP_DATA calls would write them. A period other
// than 0 says that operation k equals operation k - period (image fill), so
// that a writer may reuse the digits of a record it wrote already.
using DataRunWriter = void (*)(Run& run, OutputStream& stream, const uint8_t* data, int ops, int op_bytes,
                               int stride, uint32_t address, uint32_t step, int period);

}  // namespace khex
