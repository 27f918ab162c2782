// The floor of make bench: writes the records khex writes for a raw image at
// address 0, as simply as a program can, so that khex's time can be compared
// with the least a program must do to write the same bytes. Not part of khex.
//
//   floor FORMAT LANES INPUT OUTPUT...   FORMAT: i (Intel), m3 (Motorola-S3),
//                                        x (Extended Tektronix); LANES: 1 or 2
//
// With two lanes, byte k of every 16-bit word goes to OUTPUT k, each record
// carrying the word's byte address, as khex writes byte lanes.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

const char HEX[] = "0123456789ABCDEF";

struct Out {
    FILE* file;
    std::vector<char> buffer = std::vector<char>(1 << 20);
    size_t used = 0;

    void put(const char* text, size_t n)
    {
        if (used + n > buffer.size()) {
            std::fwrite(buffer.data(), 1, used, file);
            used = 0;
        }
        std::memcpy(buffer.data() + used, text, n);
        used += n;
    }
    void close()
    {
        std::fwrite(buffer.data(), 1, used, file);
        std::fclose(file);
    }
};

char* hex(char* p, unsigned value, int digits)
{
    for (int i = digits - 1; i >= 0; --i, value >>= 4)
        p[i] = HEX[value & 0xF];
    return p + digits;
}

// Intel: 32 data bytes a record, an extended linear address record whenever
// the upper 16 bits of the address change.
void intel(Out& out, const unsigned char* data, size_t n, unsigned step)
{
    char line[128];
    unsigned upper = 0;
    for (size_t i = 0; i < n; i += 32) {
        unsigned address = static_cast<unsigned>(i) * step;
        if (address >> 16 != upper) {
            upper = address >> 16;
            char* p = line;
            *p++ = ':';
            p = hex(p, 0x02000004, 8);
            p = hex(p, upper, 4);
            p = hex(p, (0u - (6 + (upper >> 8) + (upper & 0xFF))) & 0xFF, 2);
            *p++ = '\n';
            out.put(line, static_cast<size_t>(p - line));
        }
        size_t count = n - i < 32 ? n - i : 32;
        unsigned sum = static_cast<unsigned>(count) + ((address >> 8) & 0xFF) + (address & 0xFF);
        char* p = line;
        *p++ = ':';
        p = hex(p, static_cast<unsigned>(count), 2);
        p = hex(p, address & 0xFFFF, 4);
        p = hex(p, 0, 2);
        for (size_t k = 0; k < count; ++k) {
            p = hex(p, data[i + k], 2);
            sum += data[i + k];
        }
        p = hex(p, (0u - sum) & 0xFF, 2);
        *p++ = '\n';
        out.put(line, static_cast<size_t>(p - line));
    }
    out.put(":00000001FF\n", 12);
}

// Motorola-S3: a header, 29 data bytes a record, an S7 end record.
void motorola(Out& out, const unsigned char* data, size_t n, unsigned step)
{
    char line[128];
    out.put("S00600004844521B\n", 17);
    for (size_t i = 0; i < n; i += 29) {
        unsigned address = static_cast<unsigned>(i) * step;
        size_t count = n - i < 29 ? n - i : 29;
        unsigned sum = static_cast<unsigned>(count) + 5 + (address >> 24) + ((address >> 16) & 0xFF) +
                       ((address >> 8) & 0xFF) + (address & 0xFF);
        char* p = line;
        *p++ = 'S';
        *p++ = '3';
        p = hex(p, static_cast<unsigned>(count) + 5, 2);
        p = hex(p, address, 8);
        for (size_t k = 0; k < count; ++k) {
            p = hex(p, data[i + k], 2);
            sum += data[i + k];
        }
        p = hex(p, ~sum & 0xFF, 2);
        *p++ = '\n';
        out.put(line, static_cast<size_t>(p - line));
    }
    out.put("S70500000000FA\n", 15);
}

unsigned digit_sum(unsigned value)
{
    unsigned sum = 0;
    for (; value; value >>= 4)
        sum += value & 0xF;
    return sum;
}

// Extended Tektronix: 32 data bytes a record; the checksum sums the values
// of the digits; a termination record with entry point 0.
void tektronix(Out& out, const unsigned char* data, size_t n, unsigned step)
{
    char line[128];
    for (size_t i = 0; i < n; i += 32) {
        unsigned address = static_cast<unsigned>(i) * step;
        size_t count = n - i < 32 ? n - i : 32;
        unsigned length = 14 + 2 * static_cast<unsigned>(count);
        unsigned sum = digit_sum(length) + 6 + 8 + digit_sum(address);
        char* p = line;
        *p++ = '%';
        p = hex(p, length, 2);
        *p++ = '6';
        p += 2;  // the checksum, below
        *p++ = '8';
        p = hex(p, address, 8);
        for (size_t k = 0; k < count; ++k) {
            p = hex(p, data[i + k], 2);
            sum += (data[i + k] >> 4) + (data[i + k] & 0xF);
        }
        hex(line + 4, sum & 0xFF, 2);
        *p++ = '\n';
        out.put(line, static_cast<size_t>(p - line));
    }
    out.put("%0E81E800000000\n", 16);
}

}  // namespace

int main(int argc, char** argv)
{
    const int lanes = argc >= 4 ? std::atoi(argv[2]) : 0;
    if ((lanes != 1 && lanes != 2) || argc != 4 + lanes) {
        std::fprintf(stderr, "usage: floor i|m3|x 1|2 INPUT OUTPUT...\n");
        return 2;
    }
    FILE* in = std::fopen(argv[3], "rb");
    if (!in)
        return 1;
    std::vector<unsigned char> image;
    unsigned char block[1 << 16];
    for (size_t got; (got = std::fread(block, 1, sizeof block, in)) > 0;)
        image.insert(image.end(), block, block + got);
    std::fclose(in);
    for (int lane = 0; lane < lanes; ++lane) {
        std::vector<unsigned char> bytes;
        for (size_t i = static_cast<size_t>(lane); i < image.size(); i += static_cast<size_t>(lanes))
            bytes.push_back(image[i]);
        Out out{std::fopen(argv[4 + lane], "wb")};
        if (!out.file)
            return 1;
        const unsigned step = static_cast<unsigned>(lanes);
        if (std::strcmp(argv[1], "i") == 0)
            intel(out, bytes.data(), bytes.size(), step);
        else if (std::strcmp(argv[1], "m3") == 0)
            motorola(out, bytes.data(), bytes.size(), step);
        else
            tektronix(out, bytes.data(), bytes.size(), step);
        out.close();
    }
    return 0;
}
