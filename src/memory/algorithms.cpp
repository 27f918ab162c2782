#include "memory/algorithms.h"

#include <iterator>

#include "base/text.h"

namespace khex {

// CRC parameters as the usual CRC catalogue gives them (width, poly, init,
// refin, refout, xorout, check).
const ChecksumAlgorithm checksum_algorithms[] = {
    // name             alias                kind         width poly        init        refin  refout xorout      check
    {"crc32",          nullptr,             KIND_CRC,    32, 0x04C11DB7, 0xFFFFFFFF, true,  true,  0xFFFFFFFF, "cbf43926"},
    {"crc32c",         nullptr,             KIND_CRC,    32, 0x1EDC6F41, 0xFFFFFFFF, true,  true,  0xFFFFFFFF, "e3069283"},
    {"crc32-mpeg2",    nullptr,             KIND_CRC,    32, 0x04C11DB7, 0xFFFFFFFF, false, false, 0x00000000, "0376e6e7"},
    {"crc16-ibm-3740", "crc16-ccitt-false", KIND_CRC,    16, 0x1021,     0xFFFF,     false, false, 0x0000,     "29b1"},
    {"crc16-xmodem",   nullptr,             KIND_CRC,    16, 0x1021,     0x0000,     false, false, 0x0000,     "31c3"},
    {"crc16-kermit",   nullptr,             KIND_CRC,    16, 0x1021,     0x0000,     true,  true,  0x0000,     "2189"},
    {"crc16-arc",      nullptr,             KIND_CRC,    16, 0x8005,     0x0000,     true,  true,  0x0000,     "bb3d"},
    {"crc16-modbus",   nullptr,             KIND_CRC,    16, 0x8005,     0xFFFF,     true,  true,  0x0000,     "4b37"},
    {"crc8-smbus",     nullptr,             KIND_CRC,    8,  0x07,       0x00,       false, false, 0x00,       "f4"},
    {"sum8",           nullptr,             KIND_SUM,    8,  0, 0, false, false, 0, "dd"},
    {"sum16",          nullptr,             KIND_SUM,    16, 0, 0, false, false, 0, "01dd"},
    {"sum32",          nullptr,             KIND_SUM,    32, 0, 0, false, false, 0, "000001dd"},
    {"negsum8",        nullptr,             KIND_NEGSUM, 8,  0, 0, false, false, 0, "23"},
    {"negsum16",       nullptr,             KIND_NEGSUM, 16, 0, 0, false, false, 0, "fe23"},
    {"negsum32",       nullptr,             KIND_NEGSUM, 32, 0, 0, false, false, 0, "fffffe23"},
    {"sha1",           nullptr,             KIND_SHA1,   160, 0, 0, false, false, 0,
     "f7c3bc1d808e04732adf679965ccc34ca7ae3441"},
    {"sha256",         nullptr,             KIND_SHA256, 256, 0, 0, false, false, 0,
     "15e2b0d3c33891ebb0f1ef609ec419420c20e320ce94c65fbc8c3312448eb225"},
    {"sha512",         nullptr,             KIND_SHA512, 512, 0, 0, false, false, 0,
     "d9e6762dd1c8eaf6d61b3c6192fc408d4d6d5f1176d0c29169bc24e71c3f274a"
     "d27fcd5811b313d681f7e55ec02d73d499c95455b6b5bb503acf574fba8ffe85"},
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
    switch (algorithm.kind) {
    case KIND_SHA1: sha1_start(engine.sha1); return;
    case KIND_SHA256: sha256_start(engine.sha256); return;
    case KIND_SHA512: sha512_start(engine.sha512); return;
    case KIND_SUM:
    case KIND_NEGSUM: engine.reg = 0; return;
    case KIND_CRC: break;
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
    switch (engine.algorithm.kind) {
    case KIND_SHA1: sha1_update(engine.sha1, data, n); return;
    case KIND_SHA256: sha256_update(engine.sha256, data, n); return;
    case KIND_SHA512: sha512_update(engine.sha512, data, n); return;
    default: break;
    }
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
    default: return 0;  // a digest is no number
    }
    uint32_t value = a.refin ? engine.reg : engine.reg >> (32 - a.width);
    if (a.refin != a.refout)
        value = reflect(value, a.width);
    return (value ^ a.xorout) & mask;
}

void engine_bytes(const ChecksumEngine& engine, uint8_t* out)
{
    // a digest is finished on a copy, so that the engine goes on
    switch (engine.algorithm.kind) {
    case KIND_SHA1: {
        Sha1 copy = engine.sha1;
        sha1_finish(copy, out);
        return;
    }
    case KIND_SHA256: {
        Sha256 copy = engine.sha256;
        sha256_finish(copy, out);
        return;
    }
    case KIND_SHA512: {
        Sha512 copy = engine.sha512;
        sha512_finish(copy, out);
        return;
    }
    default: break;
    }
    const uint32_t value = engine_value(engine);
    const int n = engine.algorithm.width / 8;
    for (int i = 0; i < n; ++i)
        out[i] = static_cast<uint8_t>(value >> (8 * (n - 1 - i)));
}

}  // namespace khex
