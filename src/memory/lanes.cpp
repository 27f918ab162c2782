#include "memory/lanes.h"

#include <algorithm>

namespace khex {

namespace {

void reverse_groups(uint8_t* data, int nbytes, int unit)
{
    // a final group shorter than the unit is left as it is
    for (int start = 0; start + unit <= nbytes; start += unit)
        std::reverse(data + start, data + start + unit);
}

}  // namespace

void arrange(const WordArrangement& a, const RomRange& r, uint8_t* data, int nbytes)
{
    if (a.unit > 1 && a.big_endian != (a.order == ORDER_MS))
        reverse_groups(data, nbytes, a.unit);
    int w = std::min(r.romwidth, r.memwidth);
    if (w > 1 && a.order == ORDER_LS)
        reverse_groups(data, nbytes, w);
}

int lane_of_file(const RomRange& r, int order, int file)
{
    if (r.romwidth >= r.memwidth)
        return 0;
    return order == ORDER_MS ? r.file_count - 1 - file : file;
}

std::vector<int> file_word_bytes(const WordArrangement& a, const RomRange& r, int file)
{
    // a data unit wider than the word arranges across words: follow one
    // whole unit and keep the word the file's bytes come from
    const int span = std::max(r.memwidth, a.unit);
    std::vector<uint8_t> offsets(static_cast<size_t>(span));
    for (int k = 0; k < span; ++k)
        offsets[static_cast<size_t>(k)] = static_cast<uint8_t>(k);
    arrange(a, r, offsets.data(), span);
    const int bytes = std::min(r.romwidth, r.memwidth);
    const int lane = lane_of_file(r, a.order, file);
    std::vector<int> carried;
    for (int k = 0; k < bytes; ++k)
        carried.push_back(offsets[static_cast<size_t>(lane * bytes + k)] % r.memwidth);
    return carried;
}

LaneBits file_lane_bits(const WordArrangement& a, const RomRange& r, int file)
{
    LaneBits bits{8 * r.memwidth, -1};
    for (int k : file_word_bytes(a, r, file)) {
        const int first = 8 * (a.big_endian ? r.memwidth - 1 - k : k);
        bits.first_bit = std::min(bits.first_bit, first);
        bits.last_bit = std::max(bits.last_bit, first + 7);
    }
    return bits;
}

uint32_t cpu_address(uint32_t address, uint32_t q, const uint8_t* source, int period)
{
    if (period <= 0 || !source)
        return address + q;
    const uint32_t p = static_cast<uint32_t>(period);
    return address + q / p * p + source[q % p];
}

uint32_t device_of(const RomRange& r, uint32_t address, uint32_t q)
{
    if (r.romwidth >= r.memwidth)
        return address - r.origin + q;
    const uint32_t memwidth = static_cast<uint32_t>(r.memwidth), romwidth = static_cast<uint32_t>(r.romwidth);
    const uint32_t word = (address - r.origin) / memwidth + q / memwidth;
    return word * romwidth + q % memwidth % romwidth;
}

}  // namespace khex
