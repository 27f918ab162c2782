// The floor of make bench: writes the records khex writes for a raw image at
// address 0 with the least work a program can do, so that khex's time can be
// compared with it. Not part of khex.
//
//   floor FORMAT LANES INPUT OUTPUT...   FORMAT: i (Intel), m3 (Motorola-S3),
//                                        x (Extended Tektronix); LANES: 1 or 2
//
// With two lanes, byte k of every 16-bit word goes to OUTPUT k, each record
// carrying the word's byte address, as khex writes byte lanes. The input is
// read in blocks of whole records, each block's records are made in one
// buffer with table-encoded digits, no call per byte or record, and each
// block goes out in one write.
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

struct Tables {
    char pairs[256][2];          // the two hex digits of a byte
    unsigned char digit_sum[256];  // the values of those two digits, added
    Tables()
    {
        const char* hex = "0123456789ABCDEF";
        for (int b = 0; b < 256; ++b) {
            pairs[b][0] = hex[b >> 4];
            pairs[b][1] = hex[b & 0xF];
            digit_sum[b] = static_cast<unsigned char>((b >> 4) + (b & 0xF));
        }
    }
};
const Tables T;

inline char* put_byte(char* p, unsigned b)
{
    std::memcpy(p, T.pairs[b & 0xFF], 2);
    return p + 2;
}

inline char* put_text(char* p, const char* text)
{
    const size_t n = std::strlen(text);
    std::memcpy(p, text, n);
    return p + n;
}

// Intel: 32 data bytes a record, an extended linear address record whenever
// the upper 16 bits of the address change.
char* intel(char* p, const unsigned char* data, size_t n, size_t stride, unsigned step, size_t first,
            unsigned& upper)
{
    for (size_t i = 0; i < n; i += 32) {
        const unsigned address = static_cast<unsigned>(first + i) * step;
        if (address >> 16 != upper) {
            upper = address >> 16;
            p = put_text(p, ":02000004");
            p = put_byte(p, upper >> 8);
            p = put_byte(p, upper);
            p = put_byte(p, 0u - (6 + (upper >> 8) + (upper & 0xFF)));
            *p++ = '\n';
        }
        const size_t count = n - i < 32 ? n - i : 32;
        unsigned sum = static_cast<unsigned>(count) + ((address >> 8) & 0xFF) + (address & 0xFF);
        *p++ = ':';
        p = put_byte(p, static_cast<unsigned>(count));
        p = put_byte(p, address >> 8);
        p = put_byte(p, address);
        p = put_byte(p, 0);
        const unsigned char* d = data + i * stride;
        for (size_t k = 0; k < count; ++k, d += stride) {
            std::memcpy(p, T.pairs[*d], 2);
            p += 2;
            sum += *d;
        }
        p = put_byte(p, 0u - sum);
        *p++ = '\n';
    }
    return p;
}

// Motorola-S3: a header, 29 data bytes a record, an S7 end record.
char* motorola(char* p, const unsigned char* data, size_t n, size_t stride, unsigned step, size_t first, unsigned&)
{
    for (size_t i = 0; i < n; i += 29) {
        const unsigned address = static_cast<unsigned>(first + i) * step;
        const size_t count = n - i < 29 ? n - i : 29;
        unsigned sum = static_cast<unsigned>(count) + 5 + (address >> 24) + ((address >> 16) & 0xFF) +
                       ((address >> 8) & 0xFF) + (address & 0xFF);
        *p++ = 'S';
        *p++ = '3';
        p = put_byte(p, static_cast<unsigned>(count) + 5);
        p = put_byte(p, address >> 24);
        p = put_byte(p, address >> 16);
        p = put_byte(p, address >> 8);
        p = put_byte(p, address);
        const unsigned char* d = data + i * stride;
        for (size_t k = 0; k < count; ++k, d += stride) {
            std::memcpy(p, T.pairs[*d], 2);
            p += 2;
            sum += *d;
        }
        p = put_byte(p, ~sum);
        *p++ = '\n';
    }
    return p;
}

// Extended Tektronix: 32 data bytes a record; the checksum sums the values
// of the digits; a termination record with entry point 0.
char* tektronix(char* p, const unsigned char* data, size_t n, size_t stride, unsigned step, size_t first, unsigned&)
{
    for (size_t i = 0; i < n; i += 32) {
        const unsigned address = static_cast<unsigned>(first + i) * step;
        const size_t count = n - i < 32 ? n - i : 32;
        const unsigned length = 14 + 2 * static_cast<unsigned>(count);
        unsigned sum = T.digit_sum[length] + 6 + 8 + T.digit_sum[address >> 24] + T.digit_sum[(address >> 16) & 0xFF] +
                       T.digit_sum[(address >> 8) & 0xFF] + T.digit_sum[address & 0xFF];
        char* line = p;
        *p++ = '%';
        p = put_byte(p, length);
        *p++ = '6';
        p += 2;  // the checksum, below
        *p++ = '8';
        p = put_byte(p, address >> 24);
        p = put_byte(p, address >> 16);
        p = put_byte(p, address >> 8);
        p = put_byte(p, address);
        const unsigned char* d = data + i * stride;
        for (size_t k = 0; k < count; ++k, d += stride) {
            std::memcpy(p, T.pairs[*d], 2);
            p += 2;
            sum += T.digit_sum[*d];
        }
        put_byte(line + 4, sum);
        *p++ = '\n';
    }
    return p;
}

struct Format {
    char letter;
    char* (*records)(char*, const unsigned char*, size_t, size_t, unsigned, size_t, unsigned&);
    const char* head;
    const char* tail;
};
const Format FORMATS[] = {
    {'i', intel, "", ":00000001FF\n"},
    {'m', motorola, "S00600004844521B\n", "S70500000000FA\n"},
    {'x', tektronix, "", "%0E81E800000000\n"},
};

}  // namespace

int main(int argc, char** argv)
{
    const int lanes = argc >= 4 ? argv[2][0] - '0' : 0;
    const Format* format = nullptr;
    for (const Format& f : FORMATS)
        if (argc >= 2 && argv[1][0] == f.letter)
            format = &f;
    if (!format || (lanes != 1 && lanes != 2) || argc != 4 + lanes) {
        std::fprintf(stderr, "usage: floor i|m3|x 1|2 INPUT OUTPUT...\n");
        return 2;
    }
    FILE* in = std::fopen(argv[3], "rb");
    if (!in)
        return 1;
    FILE* out[2] = {};
    unsigned upper[2] = {};
    for (int lane = 0; lane < lanes; ++lane)
        if (!(out[lane] = std::fopen(argv[4 + lane], "wb")) || std::fputs(format->head, out[lane]) < 0)
            return 1;
    // a block holds whole records of 29 and of 32 bytes in every lane
    const size_t per_lane = 29 * 32 * 64;
    std::vector<unsigned char> block(per_lane * static_cast<size_t>(lanes));
    std::vector<char> text(per_lane * 4);
    size_t first = 0;  // the lane's bytes before the block
    for (size_t got; (got = std::fread(block.data(), 1, block.size(), in)) > 0; first += per_lane) {
        for (int lane = 0; lane < lanes; ++lane) {
            const size_t n = (got - static_cast<size_t>(lane) + static_cast<size_t>(lanes) - 1) /
                             static_cast<size_t>(lanes);
            char* end = format->records(text.data(), block.data() + lane, n, static_cast<size_t>(lanes),
                                        static_cast<unsigned>(lanes), first, upper[lane]);
            const size_t size = static_cast<size_t>(end - text.data());
            if (std::fwrite(text.data(), 1, size, out[lane]) != size)
                return 1;
        }
    }
    std::fclose(in);
    for (int lane = 0; lane < lanes; ++lane)
        if (std::fputs(format->tail, out[lane]) < 0 || std::fclose(out[lane]) != 0)
            return 1;
    return 0;
}
