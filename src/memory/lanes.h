// Which bytes of a memory word each lane file of a range carries: the byte
// arrangement of -order and the data width, the split into ROM-width lanes,
// and the bits of the word those bytes are as the target reads the word.
// The files, their labels and the reports all take them from here.
#pragma once
#include <cstdint>
#include <vector>

#include "memory/ranges.h"

namespace khex {

// How the bytes of a memory word are arranged for the files: the target's
// byte order, -order as settled, and the data width in bytes whose units
// -order reverses.
struct WordArrangement {
    bool big_endian;
    int order;
    int unit;
};

// Bytes in the order the files take them: data-width groups in the target's
// byte order as -order asks, then each memory word's ROM-width lanes.
void arrange(const WordArrangement& a, const RomRange& r, uint8_t* data, int nbytes);

// The byte lane (0: the first ROM-width bytes of an arranged word) that file
// i of range r carries: -order MS gives the first lane to the last file.
int lane_of_file(const RomRange& r, int order, int file);

// The offsets in the memory word (0 the lowest target address) of the bytes
// file i carries, in file order.
std::vector<int> file_word_bytes(const WordArrangement& a, const RomRange& r, int file);

// The bits of the memory word's value, as the target reads the word, that
// file i carries: the byte at offset k is bits 8k.. of a little-endian word
// and bits 8(w-1-k).. of a big-endian word of w bytes.
struct LaneBits {
    int first_bit;
    int last_bit;
};
LaneBits file_lane_bits(const WordArrangement& a, const RomRange& r, int file);

}  // namespace khex
