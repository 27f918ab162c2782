// One open output file and the writer interface every output format implements.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "base/diagnostics.h"
#include "memory/lanes.h"

namespace khex {

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

// A run of ROM words that a writer of device words is building: its first
// word's address, its length, and its words' value while they are all one.
struct WordRun {
    uint32_t first = 0;
    uint32_t words = 0;
    uint8_t value[4] = {};
    bool open = false;
    bool same = true;     // every word so far had value
};

struct OutputStream {
    FILE* file;
    int lane;                 // the byte lane it carries: 0 for the first bytes of an arranged word
    LaneBits bits;            // the bits of the memory word it carries
    size_t fill;              // length of the record being built in line
    uint32_t last_address;    // record_address the writer last saw
    std::vector<char> line;   // the record being built; sized for the widest data operation
    bool address_written;     // meaning belongs to the writer (ZQ-Tagged, Generic)
    uint32_t sum;             // running checksum of the record being built; meaning belongs to the writer
    const std::string* name;  // file name for messages
    std::vector<char> block;  // finished records not yet written
    size_t block_used;
    RepeatedDigits repeated;
    size_t limit;             // with a record length: where the record being built is full; 0: the format's threshold
    std::vector<uint8_t> fill_words;  // the lane's fill, fill_period ROM words, for formats that write every word
    int fill_period;
    WordRun run;              // writers of device words: the run being built
    std::vector<WordRun> runs;  // and the runs written so far, where a writer lists them
    bool warned;              // a writer's warning once per file was given
};

enum WriterOp {
    OP_START_FILE = 1,
    OP_NEW_ADDRESS = 2,
    OP_DATA = 3,
    OP_END_RECORD = 4,
    OP_END_FILE = 5,
};

// Formats that cut addresses warn once per owner of the bytes (a section
// entry, a checksum): the owner each writer last warned about.
struct TruncationWarnings {
    const void* motorola = nullptr;
    const void* zq_tagged = nullptr;
};

// What a record writer is told of the range and the run: all it reads besides
// its stream and the bytes.
struct WriterContext {
    uint32_t record_address = 0;      // the address the writers put into records
    int romwidth = 1;                 // bytes of one ROM word
    int32_t line_words = 20;          // Generic: ROM words a line (-olength)
    uint32_t entry_point = 0;         // the COFF file's, for end records that carry one
    int variant = 0;                  // which records a writer shared by format rows writes
    uint32_t origin = 0;              // the range's first byte address
    uint32_t length = 0;              // and its length in bytes
    uint32_t depth = 0;               // ROM words the range gives each lane
    uint32_t fill = 0;                // the range's fill value, for messages
    const std::string* range_name = nullptr;
    uint32_t record_bytes = 0;        // -reclen: data bytes a record holds at most; 0: the format's own
    Diagnostics* diagnostics = nullptr;  // write failures and warnings
    const void* owner = nullptr;      // whose bytes are being written, for warnings once per owner
    TruncationWarnings truncation;
};

// A format's writer: one operation on one file.
using RecordWriter = void (*)(WriterContext& w, int op, OutputStream& stream, const uint8_t* data, int nbytes);

// Every format's data path: `ops` data operations of `op_bytes` bytes,
// operation k taken from data + k * stride and addressed at address + k * step,
// written exactly as that many OP_DATA calls would write them. A period other
// than 0 says that operation k equals operation k - period (image fill), so
// that a writer may reuse the digits of a record it wrote already.
using DataRunWriter = void (*)(WriterContext& w, OutputStream& stream, const uint8_t* data, int ops, int op_bytes,
                               int stride, uint32_t address, uint32_t step, int period);

// Checked writes for the writers: a failed write ends the run with a FATAL error.
void write_text(WriterContext& w, OutputStream& stream, const char* text, size_t n);
void write_line(WriterContext& w, OutputStream& stream);  // writes line[0..fill) and empties the line
// Writes the finished records collected in the stream's block to its file.
void flush_block(WriterContext& w, OutputStream& stream);

// True when the bytes being written have an owner that the writer did not
// last warn about in last_warned; it then becomes the last one.
bool first_warning(WriterContext& w, const void*& last_warned);

// The default data path: one OP_DATA call per operation, each with its own
// record address.
void write_run_by_operation(RecordWriter writer, WriterContext& w, OutputStream& stream, const uint8_t* data, int ops,
                            int op_bytes, int stride, uint32_t address, uint32_t step);

}  // namespace khex
