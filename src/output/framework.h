// The output files of the current range: opened on its first data, each memory
// word split into ROM-width byte lanes, one lane per file, and the records of
// the selected format written through its RecordWriter.
#pragma once
#include <cstdint>
#include <cstdio>

#include "memory/ranges.h"
#include "output/stream.h"

namespace khex {

constexpr int MAX_STREAMS = 8;

struct OutputState {
    OutputStream streams[MAX_STREAMS];  // entry k carries byte lane k
};
extern OutputState output;

void reset_output();

void write_range_data(const uint8_t* data, int nbytes);
void flush_range_records();
void close_range_files();
// Forgets the files of a run that ended early; discard_pending_files closes them.
void abandon_output_files();

// Checked writes for the writers: a failed write ends the run with a FATAL error.
void write_text(OutputStream& stream, const char* text, size_t n);
void write_line(OutputStream& stream);  // writes line[0..fill) and empties the line

// Records of a range whose ROM is narrower than its memory word carry, under
// -romaddr, the address in the ROM device: the word at target byte address A
// is at (A / memwidth) * romwidth, counted from the range's first byte with
// -zero. Otherwise records carry target byte addresses.
bool device_addressing(const RomRange& r);
uint32_t device_address(const RomRange& r, uint32_t address);

// The address the writers put into records: the current range's record_address.
inline uint32_t record_address()
{
    return ranges.current_range->record_address;
}

}  // namespace khex
