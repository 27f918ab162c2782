// -verify: a device programmer's read-back of a device against the bytes khex
// would write into that device's file. The output framework hands every
// write of a range's files here through its tap instead of writing them;
// each pair compares at device addresses (the ROM device's bytes from the
// range's first byte), or, with :output and for Binary files, at the
// addresses the file itself carries. Differences are kept as runs of one
// owner and one kind; what else the read-back matches (another file of the
// run, other addresses) gives the verdict its hints. The read-backs are read
// through before conversion; nothing holds a device image.
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
#include "output/framework.h"
#include "output/sets.h"

namespace khex {

// Bytes of the read-back at ascending addresses, through a window.
struct ReadbackWindow {
    std::vector<uint8_t> bytes;
    std::vector<bool> present;
    uint64_t start = 1, end = 0;      // the window holds [start, end)
    size_t next_extent = 0;
};

// Consecutive addresses of one kind and one owner that differ.
struct VerifyRun {
    enum Kind { CHANGED, MISSING };   // the read-back holds another byte, or none
    Kind kind;
    uint32_t first, last;             // device addresses (or the file's own)
    uint32_t cpu;                     // the target byte address of the first
    size_t owner;                     // into VerifyState::owners
    LaneBits bits;
    uint8_t expected[4], found[4];    // the first bytes
};

// One differing byte, of the first ones a pair keeps byte by byte.
struct VerifyDifference {
    uint32_t address;     // device address (or the file's own address)
    uint32_t cpu;         // the target byte address of the byte
    LaneBits bits;        // of the memory word, that the file carries
    size_t owner;
    uint8_t expected;
    int found;            // -1: the read-back holds nothing there
};

// How many differences a pair keeps byte by byte, for the JSON report.
constexpr size_t VERIFY_LISTED = 10;

// What one tap of a file-address pair saw, in the order its bytes went into
// the file: where its data came from, to name a differing byte.
struct VerifyTap {
    uint64_t first;       // bytes of the file's data before it
    uint32_t count;       // bytes it put into the file
    uint32_t address;     // target address of the write
    size_t owner, inner;  // owners of its bytes, and of a slot over them
    uint32_t inner_first, inner_last;
    std::vector<uint8_t> source;  // the arrangement's period
};

// Another file of the run, as a candidate for what the read-back holds.
struct VerifyOther {
    const RomRange* range;
    int file;
    uint64_t compared = 0, differing = 0;
};

struct VerifyPair {
    std::string text;                 // the option's value, as given
    std::string output;               // OUTPUT: an output file of the run
    HexFile readback;
    bool file_addresses = false;      // :output, or a Binary OUTPUT
    const RomRange* range = nullptr;  // as the output's set writes it
    int file = 0;                     // the output's index among the range's files
    const OutputFormat* format = nullptr;  // of the output's set
    uint64_t compared = 0;
    uint64_t differing = 0;
    std::vector<VerifyRun> runs;      // every run of differences, in the order found
    std::vector<VerifyDifference> first;  // the first differences, byte by byte
    ReadbackWindow window;
    std::vector<size_t> by_address;   // extents of the read-back in address order
    // the same bytes at the addresses of a file written without -romaddr,
    // and at the file's own, for the hints
    ReadbackWindow cpu_window, own_window;
    uint64_t cpu_differing = 0, own_differing = 0;
    std::vector<VerifyOther> others;  // each other file of the run against the read-back
    std::string temporary;            // file-address pairs: the file khex would write
    FILE* written = nullptr;
    std::vector<VerifyTap> taps;
    uint64_t tapped = 0;
};

struct VerifyState {
    std::deque<VerifyPair> pairs;     // in the order given
    std::vector<std::string> owners;  // names of the owners of differing bytes
    WordArrangement arrangement{false, ORDER_LS, 1};
    bool romaddr = false, zero = false;
    unsigned temporaries = 0;         // numbers the files a verify run writes for itself
    Diagnostics* diagnostics = nullptr;
};

// Once the ranges are resolved: each -verify's output file among the run's
// and its read-back opened and read through; every problem is an ERROR.
void read_verify_requests(VerifyState& verify, Diagnostics& d, const ConvOptions& options, const RangeState& ranges,
                          const AlsoState& also, const OutputFormat& format);

// Once the byte order is settled: how the bytes of a word go to the files,
// and how the files address them.
void start_verify(VerifyState& verify, Diagnostics& d, const WordArrangement& arrangement, bool romaddr, bool zero);

// The tap's three calls (output/framework.h): the file the framework writes
// for a pair that compares the file's own text, or nullptr; every write of a
// range; a written file, whole, which is closed here and compared.
FILE* verify_open_file(VerifyState& verify, const RomRange& r, int file);
void verify_write(VerifyState& verify, const RomRange& r, uint32_t address, const uint8_t* data, int nbytes,
                  const ByteOwner& owner);
void verify_file_written(VerifyState& verify, const RomRange& r, int file, FILE* written);

// The verdict of each pair, its runs of differences (at most limit, 0: all)
// and its hints, on out.
void print_verify(const VerifyState& verify, FILE* out, uint32_t limit);
bool verify_differs(const VerifyState& verify);
// The hints of a pair, one line each, without "hint: ".
std::vector<std::string> verify_hints(const VerifyState& verify, const VerifyPair& pair);
// The bytes of a run.
uint64_t run_count(const VerifyRun& run);

// Closes the read-backs and removes the temporary files.
void close_verify(VerifyState& verify);

}  // namespace khex
