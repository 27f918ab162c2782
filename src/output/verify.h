// -verify: a device programmer's read-back of a device against the bytes khex
// would write into that device's file. The output framework hands every
// write of a range's files here instead of writing them; each pair compares
// at device addresses (the ROM device's bytes from the range's first byte),
// or, with :output and for Binary files, at the addresses the file itself
// carries. The read-backs are read through before conversion; nothing
// holds a device image.
#pragma once
#include <cstdint>
#include <cstdio>
#include <deque>
#include <string>
#include <vector>

#include "base/diagnostics.h"
#include "base/settings.h"
#include "hexfile/reader.h"
#include "memory/lanes.h"
#include "memory/ranges.h"

namespace khex {

struct OutputFormat;

// Whose bytes a write carries: the key the writers' warnings go by, the
// name verify gives them, and how the byte arrangement moved them.
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

struct VerifyDifference {
    uint32_t address;     // device address (or the file's own address)
    uint32_t cpu;         // the target byte address of the byte
    LaneBits bits;        // of the memory word, that the file carries
    std::string owner;
    uint8_t expected;
    int found;            // -1: the read-back holds nothing there
};

// What one tap of a file-address pair saw, in the order its bytes went into
// the file: where its data came from, to name a differing byte.
struct VerifyTap {
    uint64_t first;       // bytes of the file's data before it
    uint32_t count;       // bytes it put into the file
    uint32_t address;     // target address of the write
    std::string owner;
    std::vector<uint8_t> source;  // the arrangement's period
    std::string inner;    // a slot over the owner's bytes, as ByteOwner
    uint32_t inner_first, inner_last;
};

// Bytes of the read-back at ascending addresses, through a window.
struct ReadbackWindow {
    std::vector<uint8_t> bytes;
    std::vector<bool> present;
    uint64_t start = 1, end = 0;      // the window holds [start, end)
    std::vector<size_t> by_address;   // extents of a hex read-back, in address order
    size_t next_extent = 0;
};

struct VerifyPair {
    std::string text;                 // the option's value, as given
    std::string output;               // OUTPUT: an output file of the run
    HexFile readback;
    bool file_addresses = false;      // :output, or a Binary OUTPUT
    const RomRange* range = nullptr;
    int file = 0;                     // the output's index among the range's files
    uint64_t compared = 0;
    uint64_t differing = 0;
    std::vector<VerifyDifference> first;  // the first differences
    ReadbackWindow window;
    std::string temporary;            // file-address pairs: the file khex would write
    FILE* written = nullptr;
    std::vector<VerifyTap> taps;
    uint64_t tapped = 0;
};

struct VerifyState {
    std::deque<VerifyPair> pairs;     // in the order given
};

// How many differences a pair lists.
constexpr size_t VERIFY_LISTED = 10;

// Once the ranges are resolved: each -verify's output file among the run's
// and its read-back opened and read through; every problem is an ERROR.
void read_verify_requests(VerifyState& verify, Diagnostics& d, const ConvOptions& options, const RangeState& ranges,
                          const OutputFormat& format);

// A write of range r's files: bytes at target address `address`, whole memory
// words in file order, lane k of each at k * ROM width. Compares the pairs
// of device addresses at once and keeps what the file-address pairs need.
void verify_write(VerifyState& verify, Diagnostics& d, const RomRange& r, uint32_t address, const uint8_t* data,
                  int nbytes, const ByteOwner& owner, const int lane_of_file[], const LaneBits bits_of_file[]);

// The pair of file i of range r that takes the file's own text, or nullptr.
VerifyPair* file_address_pair(VerifyState& verify, const RomRange& r, int i);

// A file-address pair's file is written whole: its bytes at its addresses
// against the read-back.
void verify_written_file(VerifyPair& pair, const std::string& written_name, Diagnostics& d, int format, int lane,
                         int romwidth, LaneBits bits);

// The result line of each pair and its first differences, on out.
void print_verify(const VerifyState& verify, FILE* out);
bool verify_differs(const VerifyState& verify);

// Closes the read-backs and removes the temporary files.
void close_verify(VerifyState& verify);

}  // namespace khex
