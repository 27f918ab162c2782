#include "memory/algorithms.h"

#include <iterator>

#include "base/text.h"

namespace khex {

// CRC parameters as the usual CRC catalogue gives them (width, poly, init,
// refin, refout, xorout, check).
const ChecksumAlgorithm checksum_algorithms[] = {
    // name             alias                kind         width poly        init        refin  refout xorout      check
    {"crc32",          nullptr,             KIND_CRC,    32, 0x04C11DB7, 0xFFFFFFFF, true,  true,  0xFFFFFFFF, 0xCBF43926},
    {"crc32c",         nullptr,             KIND_CRC,    32, 0x1EDC6F41, 0xFFFFFFFF, true,  true,  0xFFFFFFFF, 0xE3069283},
    {"crc32-mpeg2",    nullptr,             KIND_CRC,    32, 0x04C11DB7, 0xFFFFFFFF, false, false, 0x00000000, 0x0376E6E7},
    {"crc16-ibm-3740", "crc16-ccitt-false", KIND_CRC,    16, 0x1021,     0xFFFF,     false, false, 0x0000,     0x29B1},
    {"crc16-xmodem",   nullptr,             KIND_CRC,    16, 0x1021,     0x0000,     false, false, 0x0000,     0x31C3},
    {"crc16-kermit",   nullptr,             KIND_CRC,    16, 0x1021,     0x0000,     true,  true,  0x0000,     0x2189},
    {"crc16-arc",      nullptr,             KIND_CRC,    16, 0x8005,     0x0000,     true,  true,  0x0000,     0xBB3D},
    {"crc16-modbus",   nullptr,             KIND_CRC,    16, 0x8005,     0xFFFF,     true,  true,  0x0000,     0x4B37},
    {"crc8-smbus",     nullptr,             KIND_CRC,    8,  0x07,       0x00,       false, false, 0x00,       0xF4},
    {"sum8",           nullptr,             KIND_SUM,    8,  0, 0, false, false, 0, 0xDD},
    {"sum16",          nullptr,             KIND_SUM,    16, 0, 0, false, false, 0, 0x01DD},
    {"sum32",          nullptr,             KIND_SUM,    32, 0, 0, false, false, 0, 0x000001DD},
    {"negsum8",        nullptr,             KIND_NEGSUM, 8,  0, 0, false, false, 0, 0x23},
    {"negsum16",       nullptr,             KIND_NEGSUM, 16, 0, 0, false, false, 0, 0xFE23},
    {"negsum32",       nullptr,             KIND_NEGSUM, 32, 0, 0, false, false, 0, 0xFFFFFE23},
};
const int checksum_algorithm_count = static_cast<int>(std::size(checksum_algorithms));

namespace {

uint32_t mask_of(int width)
{
    return width >= 32 ? 0xFFFFFFFFu : (1u << width) - 1;
}

uint32_t reflect(uint32_t value, int width)
{
    uint32_t out = 0;
    for (int i = 0; i < width; ++i)
        if (value & (1u << i))
            out |= 1u << (width - 1 - i);
    return out;
}

bool same_name(const char* a, const std::string& b)
{
    return same_folded(a, b);
}

}  // namespace

const ChecksumAlgorithm* find_algorithm(const std::string& name)
{
    for (const ChecksumAlgorithm& a : checksum_algorithms)
        if (same_name(a.name, name) || (a.alias && same_name(a.alias, name)))
            return &a;
    return nullptr;
}

// A reflected CRC keeps its register reflected and shifts right; any other
// keeps it in the top bits of 32 and shifts left, whatever its width.
void engine_start(ChecksumEngine& engine, const ChecksumAlgorithm& algorithm)
{
    engine.algorithm = algorithm;
    const int width = algorithm.width;
    if (algorithm.kind != KIND_CRC) {
        engine.reg = 0;
        return;
    }
    auto& t = engine.table;
    if (algorithm.refin) {
        const uint32_t poly = reflect(algorithm.poly, width);
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? (c >> 1) ^ poly : c >> 1;
            t[0][i] = c;
        }
        for (int k = 1; k < 8; ++k)
            for (uint32_t i = 0; i < 256; ++i)
                t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
        engine.reg = reflect(algorithm.init & mask_of(width), width);
        return;
    }
    const int shift = 32 - width;
    const uint32_t poly = algorithm.poly << shift;
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i << 24;
        for (int k = 0; k < 8; ++k)
            c = (c & 0x80000000u) ? (c << 1) ^ poly : c << 1;
        t[0][i] = c;
    }
    for (int k = 1; k < 8; ++k)
        for (uint32_t i = 0; i < 256; ++i)
            t[k][i] = (t[k - 1][i] << 8) ^ t[0][t[k - 1][i] >> 24];
    engine.reg = (algorithm.init & mask_of(width)) << shift;
}

namespace {

uint32_t bytes_le(const uint8_t* p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint32_t bytes_be(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
}

// Eight bytes a step, then byte by byte.
uint32_t reflected_update(const uint32_t (&t)[8][256], uint32_t reg, const uint8_t* data, size_t n)
{
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const uint32_t a = reg ^ bytes_le(data + i);
        const uint32_t b = bytes_le(data + i + 4);
        reg = t[7][a & 0xFF] ^ t[6][(a >> 8) & 0xFF] ^ t[5][(a >> 16) & 0xFF] ^ t[4][a >> 24] ^ t[3][b & 0xFF] ^
              t[2][(b >> 8) & 0xFF] ^ t[1][(b >> 16) & 0xFF] ^ t[0][b >> 24];
    }
    for (; i < n; ++i)
        reg = (reg >> 8) ^ t[0][(reg ^ data[i]) & 0xFF];
    return reg;
}

uint32_t direct_update(const uint32_t (&t)[8][256], uint32_t reg, const uint8_t* data, size_t n)
{
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const uint32_t a = reg ^ bytes_be(data + i);
        const uint32_t b = bytes_be(data + i + 4);
        reg = t[7][a >> 24] ^ t[6][(a >> 16) & 0xFF] ^ t[5][(a >> 8) & 0xFF] ^ t[4][a & 0xFF] ^ t[3][b >> 24] ^
              t[2][(b >> 16) & 0xFF] ^ t[1][(b >> 8) & 0xFF] ^ t[0][b & 0xFF];
    }
    for (; i < n; ++i)
        reg = (reg << 8) ^ t[0][((reg >> 24) ^ data[i]) & 0xFF];
    return reg;
}

}  // namespace

void engine_update(ChecksumEngine& engine, const uint8_t* data, size_t n)
{
    if (engine.algorithm.kind != KIND_CRC) {
        uint32_t sum = engine.reg;
        for (size_t i = 0; i < n; ++i)
            sum += data[i];
        engine.reg = sum;
    } else if (engine.algorithm.refin) {
        engine.reg = reflected_update(engine.table, engine.reg, data, n);
    } else {
        engine.reg = direct_update(engine.table, engine.reg, data, n);
    }
}

uint32_t engine_value(const ChecksumEngine& engine)
{
    const ChecksumAlgorithm& a = engine.algorithm;
    const uint32_t mask = mask_of(a.width);
    switch (a.kind) {
    case KIND_SUM: return engine.reg & mask;
    case KIND_NEGSUM: return (0u - engine.reg) & mask;
    case KIND_CRC: break;
    }
    uint32_t value = a.refin ? engine.reg : engine.reg >> (32 - a.width);
    if (a.refin != a.refout)
        value = reflect(value, a.width);
    return (value ^ a.xorout) & mask;
}

}  // namespace khex
