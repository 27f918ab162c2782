// Reading hex files other tools and device programmers write: Intel hex,
// Motorola S-records, Extended Tektronix and plain binary, one reader per
// format, each a row of a small table. The files are untrusted: every
// record is checked (length, digits, checksum, what may follow what) and
// every error names file:line. A reader never holds the image: it reports
// extents (runs of bytes at consecutive addresses, in file order, with where
// they are in the file) and reads an extent's bytes again when asked.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "base/diagnostics.h"

namespace khex {

enum HexFormat {
    HEX_DETECT = -1,  // from the contents
    HEX_BINARY = 0,
    HEX_INTEL = 1,
    HEX_MOTOROLA = 2,
    HEX_TEKTRONIX = 3,
};

// Bytes at consecutive addresses, as one run of records (or the whole of a
// binary file) gives them.
struct HexExtent {
    uint32_t address;  // of the first byte
    uint32_t length;   // bytes, at least 1
    uint64_t offset;   // where its first record begins in the file (a binary's first byte)
    uint32_t line;     // the line of its first record; 0 in a binary file
    uint32_t base;     // the reader's address base before its first record (Intel)
};

// Where the last read of an extent's bytes stopped: the record it read last,
// so that reading on from there does not parse the extent again from its
// start.
struct HexResume {
    const HexExtent* extent = nullptr;
    uint64_t at = 0;       // bytes of the extent before that record
    uint64_t offset = 0;   // where the record begins in the file
    uint32_t line = 0;
    uint32_t base = 0;     // the address base before it
};

struct HexFile {
    std::string name;
    bool lenient_count = false;       // a read-back: a count record that disagrees is only noted
    std::string note;                 // what was noted
    int format = HEX_DETECT;          // as asked; the format read once opened
    FILE* file = nullptr;             // open while the run uses it
    std::vector<HexExtent> extents;   // in file order
    HexResume resume;
};

// The format's name as options write it: "binary", "intel", "motorola",
// "tektronix"; a name's format, or HEX_DETECT when none has it.
const char* hex_format_name(int format);
int hex_format_of(const std::string& name);
// Every format's name, in the table's order: "binary, intel, ...".
std::string hex_format_names();

// Opens the file (binary mode), finds its format unless it was named, reads
// it through record by record and keeps its extents; records that overlap
// one another are refused. Every problem is an ERROR naming file:line;
// false then, and the file is closed.
bool open_hex_file(HexFile& hex, Diagnostics& d);

// n bytes of an extent from its byte `skip` on, read again from the file;
// false (with an ERROR) when the file changed under the run.
bool read_hex_bytes(HexFile& hex, Diagnostics& d, const HexExtent& extent, uint32_t skip, uint8_t* out, uint32_t n);

void close_hex_file(HexFile& hex);

}  // namespace khex
