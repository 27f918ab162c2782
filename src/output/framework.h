// The output files of the current range: opened on its first data, each memory
// word split into ROM-width byte lanes, one lane per file, and the records of
// the selected format written through its RecordWriter.
#pragma once
#include <cstdint>
#include <cstdio>
#include <vector>

#include "memory/algorithms.h"
#include "output/stream.h"

namespace khex {

struct Run;
struct RomRange;

constexpr int MAX_STREAMS = 8;

// Formats that cut addresses warn once per section entry: the entry each writer
// last warned about.
struct TruncationWarnings {
    const void* motorola_spec = nullptr;
    const void* zq_tagged_spec = nullptr;
};

// What went into one output file, for the reports: its data bytes in address
// order (counted only when the JSON report asks for them).
struct FileTally {
    uint64_t data_bytes = 0;
    uint32_t first_address = 0;  // record address of the first data byte
    uint32_t last_address = 0;   // and of the last, one address per byte of an operation
    uint32_t crc32 = 0xFFFFFFFF; // CRC-32/ISO-HDLC register
    uint32_t sum32 = 0;
};

// A file the run wrote, in range order and file order.
struct WrittenFile {
    const RomRange* range;
    int file;                    // index into the range's files
    FileTally tally;
};

struct OutputState {
    OutputStream streams[MAX_STREAMS];    // entry k carries byte lane k
    FileTally tallies[MAX_STREAMS];       // by stream, while the range's files are open
    const RomRange* open_range = nullptr; // the range whose files are open
    uint32_t record_address = 0;          // the address the writers put into records
    uint32_t written_up_to = 0;           // address after the last byte given to the files
    TruncationWarnings truncation;
    std::vector<WrittenFile> written;     // every file written so far
    std::vector<uint8_t> lane_bytes;      // one lane's bytes of a write, for its tally
    ChecksumEngine crc32;                 // the tallies' CRC-32, when they are counted
    bool tallying = false;
};

// The CRC-32/ISO-HDLC of a tally's bytes.
uint32_t tally_crc32(const FileTally& tally);

// Bytes of range r at target byte address `address`, whole memory words (or
// ROM words, where a ROM is wider than a memory word), in file order. A
// period other than 0 says each lane repeats every `period` words (fill).
void write_range_data(Run& run, const RomRange& r, uint32_t address, const uint8_t* data, int nbytes,
                      int period = 0);
// Ends the records in progress of the open range.
void flush_range_records(Run& run);
// The open range's files get their trailers and are closed.
void close_range_files(Run& run);

// Checked writes for the writers: a failed write ends the run with a FATAL error.
void write_text(Run& run, OutputStream& stream, const char* text, size_t n);
void write_line(Run& run, OutputStream& stream);  // writes line[0..fill) and empties the line
// Writes the finished records collected in the stream's block to its file.
void flush_block(Run& run, OutputStream& stream);

// True when there is a current section entry that was not the last one warned
// about in last_warned; it then becomes the last one.
bool first_warning_for_spec(Run& run, const void*& last_warned);

}  // namespace khex
