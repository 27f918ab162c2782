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

// Where a write's arranged bytes come from and go, for those that follow
// single bytes (verify, a lot's deltas): the target address arranged byte q
// came from, its device address in its lane, and the offsets q of the bytes
// lane k of a write puts into its file.
uint32_t cpu_address(uint32_t address, uint32_t q, const uint8_t* source, int period);
uint32_t device_of(const RomRange& r, uint32_t address, uint32_t q);
template <typename Visit>
void lane_bytes_of(const RomRange& r, uint32_t k, int nbytes, Visit visit)
{
    const uint32_t memwidth = static_cast<uint32_t>(r.memwidth), romwidth = static_cast<uint32_t>(r.romwidth);
    const uint32_t n = static_cast<uint32_t>(nbytes);
    const uint32_t count = romwidth >= memwidth ? n : n / memwidth * romwidth;
    for (uint32_t m = 0; m < count; ++m)
        visit(romwidth >= memwidth ? m : m / romwidth * memwidth + k * romwidth + m % romwidth);
}

}  // namespace khex
