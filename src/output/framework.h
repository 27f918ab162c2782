// The output files of the current range: opened on its first data, each memory
// word split into ROM-width byte lanes, one lane per file, and the records of
// the selected format written through its RecordWriter.
#pragma once
#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <vector>

#include <string>

#include "base/diagnostics.h"
#include "base/function_ref.h"
#include "memory/algorithms.h"
#include "memory/ranges.h"
#include "output/formats.h"
#include "output/stream.h"
#include "platform/pending.h"

namespace khex {

// Whose bytes a write carries: the key the writers' warnings go by, the
// name a comparison gives them, and how the byte arrangement moved them.
struct ByteOwner {
    const void* key = nullptr;        // a section entry (or a value's), for warnings once per owner
    const char* prefix = "";          // "checksum ", "insert ", ...; then the name
    const char* name = "";
    const uint8_t* source = nullptr;  // for arranged offset q in a period, the offset it came from
    int period = 0;                   // 0: the bytes were not rearranged
    // a slot whose value replaces bytes of the owner's section: its target
    // bytes inner_first..inner_last are the value's, named so
    std::string inner;
    uint32_t inner_first = 1, inner_last = 0;
};

// A run that writes no output file (verify): every write of a range goes to
// the tap instead; only the files the tap opens are written, into files of
// its own, and handed back to it whole.
struct OutputTap {
    FunctionRef<FILE*(const RomRange& r, int file)> open_file;  // nullptr: the file is not written
    FunctionRef<void(const RomRange& r, uint32_t address, const uint8_t* data, int nbytes, const ByteOwner& owner)>
        write;
    FunctionRef<void(const RomRange& r, int file, FILE* written)> file_written;  // the tap closes it
};

// What went into one output file, for the reports: its data bytes in address
// order (counted only when a report asks for them).
struct FileTally {
    uint64_t data_bytes = 0;
    uint32_t first_address = 0;  // record address of the first data byte
    uint32_t last_address = 0;   // and of the last, one address per byte of an operation
    uint32_t crc32 = 0xFFFFFFFF; // CRC-32/ISO-HDLC register
    uint32_t sum32 = 0;
};

// A file the run wrote, in the order ranges were closed, each range's sets
// in turn and their files in order.
struct WrittenFile {
    const RomRange* range;       // as its set writes it: its widths and file names
    const RomRange* base;        // the range of the run
    int set;                     // 0: the run's own files; k: the k-th -also
    int file;                    // index into the range's files
    FileTally tally;
};

// What the output files are written with, fixed for the run before the first
// range opens.
struct OutputSettings {
    const OutputFormat* format = nullptr;
    int order = ORDER_LS;        // ORDER_MS: the last file of a range takes the first lane
    bool big_endian = false;     // the target's byte order
    int datawidth = 1;           // bytes: the default data width, for the bits a file's label names
    bool zero = false;           // image mode counts record addresses from 0
    bool romaddr = false;        // lane files carry ROM-device addresses
    int32_t line_words = 20;     // Generic: words a line
    uint32_t entry_point = 0;    // the COFF file's, for the end records that carry one
    bool tallies = false;        // count each file's bytes, CRC and sum for a report
    uint32_t record_bytes = 0;   // -reclen: data bytes a record holds at most; 0: the format's own
};

struct SetWorker;  // output/framework.cpp: a thread that writes one set's files

// A set of the run's files: its own (set 0), or one that -also adds, with
// the format it writes and, by range, the range as the set splits it (its
// ROM width and file names). Each set keeps its own files, streams and
// record addresses; the placement feeds all of them at once. A run with more
// sets writes each -also set on a thread of its own, fed with copies of the
// placement's bytes; the run's thread opens and closes every file.
struct FileSet {
    const OutputFormat* format = nullptr;
    uint32_t record_bytes = 0;            // -reclen, where the format has records; 0: the format's own
    std::vector<const RomRange*> views;   // by range index; nullptr: the set writes none of it; empty: set 0
    OutputStream streams[MAX_LANES];      // entry k carries byte lane k
    FileTally tallies[MAX_LANES];         // by stream, while the range's files are open
    WriterContext writer;                 // what the writers of the open range are told
    const RomRange* open_range = nullptr; // the set's view of the range whose files are open
    uint32_t written_up_to = 0;           // address after the last byte given to the files
    std::vector<uint8_t> range_fill;      // the fill of the range about to be written, as its files take it
    std::vector<uint8_t> partial_word;    // formats of device words on a ROM wider than a memory word: a ROM
    uint32_t partial_index = 0;           // word not yet whole (empty: none), and its device word
    Diagnostics* diagnostics = nullptr;   // where its writers report: the run's, or its worker's
    std::vector<uint8_t> lane_bytes;      // one lane's bytes of a write, for its tally
    std::vector<uint8_t> set_bytes;       // a write's bytes arranged for the set's ROM width
    std::vector<uint8_t> set_source;      // and where each came from, for the tap
    ChecksumEngine crc32;                 // the tallies' CRC-32, when they are counted
    std::shared_ptr<SetWorker> worker;    // its thread, in a run of more sets
};

struct OutputState {
    OutputSettings settings;
    Diagnostics* diagnostics = nullptr;
    PendingFiles* pending = nullptr;
    std::deque<FileSet> sets;             // set 0: the run's own files
    std::vector<WrittenFile> written;     // every file written so far
    const OutputTap* tap = nullptr;       // a run that writes no output file: every write goes here
};

// Before the first range opens: the settings, and where failures are
// reported and files are written whole or not at all.
void start_output(OutputState& output, const OutputSettings& settings, Diagnostics& diagnostics,
                  PendingFiles& pending);

// A run that writes no output file: the writes go to the tap, which lives
// as long as the run.
void tap_outputs(OutputState& output, const OutputTap& tap);

// Another set of files written from the same placement (-also): its format,
// its record length, and by range index the range as it writes it (nullptr:
// none of it). The views live as long as the run.
void add_file_set(OutputState& output, const OutputFormat& format, uint32_t record_bytes,
                  std::vector<const RomRange*> views);

// The CRC-32/ISO-HDLC of a tally's bytes.
uint32_t tally_crc32(const FileTally& tally);

// Bytes of range r at target byte address `address`, whole memory words (or
// ROM words, where a ROM is wider than a memory word), in file order, owned
// by owner, for the writers' warnings and verify's messages. A period
// other than 0 says each lane repeats every `period` words (fill).
void write_range_data(OutputState& output, const RomRange& r, uint32_t address, const uint8_t* data, int nbytes,
                      int period, const ByteOwner& owner);
// The fill pattern of the range placement is about to write, arranged as the
// files take it: memory words (two of them where a word is a byte, whose
// fill alternates), for the formats that write every word of a device.
void set_range_fill(OutputState& output, const RomRange& r, const uint8_t* pattern, size_t n);

// Ends the records in progress of the open range.
void flush_range_records(OutputState& output);
// The open range's files get their trailers and are closed.
void close_range_files(OutputState& output);

// Ends the threads of the sets, their work done or not: before a run that
// ends early closes its files.
void stop_set_workers(OutputState& output);

}  // namespace khex
