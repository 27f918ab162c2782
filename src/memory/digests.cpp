#include "memory/digests.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define KHEX_SHA_INSTRUCTIONS 1
#endif

namespace khex {

namespace {

constexpr uint32_t K256[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

constexpr uint64_t K512[80] = {
    0x428a2f98d728ae22, 0x7137449123ef65cd, 0xb5c0fbcfec4d3b2f, 0xe9b5dba58189dbbc, 0x3956c25bf348b538,
    0x59f111f1b605d019, 0x923f82a4af194f9b, 0xab1c5ed5da6d8118, 0xd807aa98a3030242, 0x12835b0145706fbe,
    0x243185be4ee4b28c, 0x550c7dc3d5ffb4e2, 0x72be5d74f27b896f, 0x80deb1fe3b1696b1, 0x9bdc06a725c71235,
    0xc19bf174cf692694, 0xe49b69c19ef14ad2, 0xefbe4786384f25e3, 0x0fc19dc68b8cd5b5, 0x240ca1cc77ac9c65,
    0x2de92c6f592b0275, 0x4a7484aa6ea6e483, 0x5cb0a9dcbd41fbd4, 0x76f988da831153b5, 0x983e5152ee66dfab,
    0xa831c66d2db43210, 0xb00327c898fb213f, 0xbf597fc7beef0ee4, 0xc6e00bf33da88fc2, 0xd5a79147930aa725,
    0x06ca6351e003826f, 0x142929670a0e6e70, 0x27b70a8546d22ffc, 0x2e1b21385c26c926, 0x4d2c6dfc5ac42aed,
    0x53380d139d95b3df, 0x650a73548baf63de, 0x766a0abb3c77b2a8, 0x81c2c92e47edaee6, 0x92722c851482353b,
    0xa2bfe8a14cf10364, 0xa81a664bbc423001, 0xc24b8b70d0f89791, 0xc76c51a30654be30, 0xd192e819d6ef5218,
    0xd69906245565a910, 0xf40e35855771202a, 0x106aa07032bbd1b8, 0x19a4c116b8d2d0c8, 0x1e376c085141ab53,
    0x2748774cdf8eeb99, 0x34b0bcb5e19b48a8, 0x391c0cb3c5c95a63, 0x4ed8aa4ae3418acb, 0x5b9cca4f7763e373,
    0x682e6ff3d6b2b8a3, 0x748f82ee5defb2fc, 0x78a5636f43172f60, 0x84c87814a1f0ab72, 0x8cc702081a6439ec,
    0x90befffa23631e28, 0xa4506cebde82bde9, 0xbef9a3f7b2c67915, 0xc67178f2e372532b, 0xca273eceea26619c,
    0xd186b8c721c0c207, 0xeada7dd6cde0eb1e, 0xf57d4f7fee6ed178, 0x06f067aa72176fba, 0x0a637dc5a2c898a6,
    0x113f9804bef90dae, 0x1b710b35131c471b, 0x28db77f523047d84, 0x32caab7b40c72493, 0x3c9ebe0a15c9bebc,
    0x431d67c49c100d4c, 0x4cc5d4becb3e42b6, 0x597f299cfc657e2a, 0x5fcb6fab3ad6faec, 0x6c44198c4a475817,
};

inline uint32_t rotr(uint32_t x, int n)
{
    return (x >> n) | (x << (32 - n));
}

inline uint32_t rotl(uint32_t x, int n)
{
    return (x << n) | (x >> (32 - n));
}

inline uint64_t rotr64(uint64_t x, int n)
{
    return (x >> n) | (x << (64 - n));
}

inline uint32_t load_be32(const uint8_t* p)
{
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

inline uint64_t load_be64(const uint8_t* p)
{
    return uint64_t{load_be32(p)} << 32 | load_be32(p + 4);
}

inline void store_be32(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

inline void store_be64(uint8_t* p, uint64_t v)
{
    store_be32(p, static_cast<uint32_t>(v >> 32));
    store_be32(p + 4, static_cast<uint32_t>(v));
}

#ifdef KHEX_SHA_INSTRUCTIONS

bool has_sha_instructions()
{
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d))
        return false;
    const bool ssse3 = c & (1u << 9), sse41 = c & (1u << 19);
    if (!__get_cpuid_count(7, 0, &a, &b, &c, &d))
        return false;
    return ssse3 && sse41 && (b & (1u << 29));
}

// SHA-256 through the SHA extensions: four rounds a step, the state as the
// instructions hold it (ABEF and CDGH), the message schedule in four
// registers taken in turn.
__attribute__((target("sha,sse4.1,ssse3"))) void sha256_blocks_sha(uint32_t* state, const uint8_t* data,
                                                                   size_t blocks)
{
    const __m128i mask = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
    __m128i tmp = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state));
    __m128i state1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4));
    tmp = _mm_shuffle_epi32(tmp, 0xB1);
    state1 = _mm_shuffle_epi32(state1, 0x1B);
    __m128i state0 = _mm_alignr_epi8(tmp, state1, 8);
    state1 = _mm_blend_epi16(state1, tmp, 0xF0);
    for (; blocks > 0; --blocks, data += 64) {
        const __m128i abef = state0, cdgh = state1;
        __m128i w[4];
#pragma GCC unroll 16
        for (int g = 0; g < 16; ++g) {
            __m128i m;
            if (g < 4) {
                m = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * g)), mask);
            } else {
                m = _mm_sha256msg1_epu32(w[g & 3], w[(g + 1) & 3]);
                m = _mm_add_epi32(m, _mm_alignr_epi8(w[(g + 3) & 3], w[(g + 2) & 3], 4));
                m = _mm_sha256msg2_epu32(m, w[(g + 3) & 3]);
            }
            w[g & 3] = m;
            __m128i msg = _mm_add_epi32(m, _mm_loadu_si128(reinterpret_cast<const __m128i*>(K256 + 4 * g)));
            state1 = _mm_sha256rnds2_epu32(state1, state0, msg);
            msg = _mm_shuffle_epi32(msg, 0x0E);
            state0 = _mm_sha256rnds2_epu32(state0, state1, msg);
        }
        state0 = _mm_add_epi32(state0, abef);
        state1 = _mm_add_epi32(state1, cdgh);
    }
    tmp = _mm_shuffle_epi32(state0, 0x1B);
    state1 = _mm_shuffle_epi32(state1, 0xB1);
    state0 = _mm_blend_epi16(tmp, state1, 0xF0);
    state1 = _mm_alignr_epi8(state1, tmp, 8);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), state0);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), state1);
}

// SHA-1 through the SHA extensions: four rounds a step, E carried between
// two registers in turn, the function changing every twenty rounds.
__attribute__((target("sha,sse4.1,ssse3"))) void sha1_blocks_sha(uint32_t* state, const uint8_t* data, size_t blocks)
{
    const __m128i mask = _mm_set_epi64x(0x0001020304050607ULL, 0x08090a0b0c0d0e0fULL);
    __m128i abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0x1B);
    __m128i e0 = _mm_set_epi32(static_cast<int>(state[4]), 0, 0, 0);
    for (; blocks > 0; --blocks, data += 64) {
        const __m128i abcd_save = abcd, e0_save = e0;
        __m128i w[4];
        __m128i e1 = _mm_setzero_si128();
#pragma GCC unroll 20
        for (int g = 0; g < 20; ++g) {
            __m128i m;
            if (g < 4) {
                m = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * g)), mask);
            } else {
                m = _mm_sha1msg1_epu32(w[g & 3], w[(g + 1) & 3]);
                m = _mm_xor_si128(m, w[(g + 2) & 3]);
                m = _mm_sha1msg2_epu32(m, w[(g + 3) & 3]);
            }
            w[g & 3] = m;
            if (g == 0) {
                e0 = _mm_add_epi32(e0, m);
                e1 = abcd;
                abcd = _mm_sha1rnds4_epu32(abcd, e0, 0);
            } else if (g & 1) {
                e1 = _mm_sha1nexte_epu32(e1, m);
                e0 = abcd;
                switch (g / 5) {
                case 0: abcd = _mm_sha1rnds4_epu32(abcd, e1, 0); break;
                case 1: abcd = _mm_sha1rnds4_epu32(abcd, e1, 1); break;
                case 2: abcd = _mm_sha1rnds4_epu32(abcd, e1, 2); break;
                default: abcd = _mm_sha1rnds4_epu32(abcd, e1, 3); break;
                }
            } else {
                e0 = _mm_sha1nexte_epu32(e0, m);
                e1 = abcd;
                switch (g / 5) {
                case 0: abcd = _mm_sha1rnds4_epu32(abcd, e0, 0); break;
                case 1: abcd = _mm_sha1rnds4_epu32(abcd, e0, 1); break;
                case 2: abcd = _mm_sha1rnds4_epu32(abcd, e0, 2); break;
                default: abcd = _mm_sha1rnds4_epu32(abcd, e0, 3); break;
                }
            }
        }
        e0 = _mm_sha1nexte_epu32(e0, e0_save);
        abcd = _mm_add_epi32(abcd, abcd_save);
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_shuffle_epi32(abcd, 0x1B));
    state[4] = static_cast<uint32_t>(_mm_extract_epi32(e0, 3));
}

#endif

Sha32Blocks sha256_compress()
{
    const Sha32Blocks instructions = sha256_blocks_instructions();
    return instructions ? instructions : sha256_blocks_portable;
}

Sha32Blocks sha1_compress()
{
    const Sha32Blocks instructions = sha1_blocks_instructions();
    return instructions ? instructions : sha1_blocks_portable;
}

void sha512_blocks(uint64_t* state, const uint8_t* data, size_t blocks)
{
    for (; blocks > 0; --blocks, data += 128) {
        uint64_t w[80];
        for (int t = 0; t < 16; ++t)
            w[t] = load_be64(data + 8 * t);
        for (int t = 16; t < 80; ++t) {
            const uint64_t s0 = rotr64(w[t - 15], 1) ^ rotr64(w[t - 15], 8) ^ (w[t - 15] >> 7);
            const uint64_t s1 = rotr64(w[t - 2], 19) ^ rotr64(w[t - 2], 61) ^ (w[t - 2] >> 6);
            w[t] = w[t - 16] + s0 + w[t - 7] + s1;
        }
        uint64_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4], f = state[5],
                 g = state[6], h = state[7];
        for (int t = 0; t < 80; ++t) {
            const uint64_t t1 = h + (rotr64(e, 14) ^ rotr64(e, 18) ^ rotr64(e, 41)) + ((e & f) ^ (~e & g)) +
                                K512[t] + w[t];
            const uint64_t t2 = (rotr64(a, 28) ^ rotr64(a, 34) ^ rotr64(a, 39)) + ((a & b) ^ (a & c) ^ (b & c));
            h = g;
            g = f;
            f = e;
            e = d + t1;
            d = c;
            c = b;
            b = a;
            a = t1 + t2;
        }
        state[0] += a, state[1] += b, state[2] += c, state[3] += d;
        state[4] += e, state[5] += f, state[6] += g, state[7] += h;
    }
}

// The buffering that every digest shares: whole blocks go to the block
// function straight from the data, the rest waits in the block.
template <typename State, typename Compress>
void buffered_update(State& s, const uint8_t* data, size_t n, size_t block_size, Compress compress)
{
    s.total += n;
    if (s.used != 0) {
        const size_t take = std::min(n, block_size - s.used);
        std::memcpy(s.block + s.used, data, take);
        s.used += take;
        data += take;
        n -= take;
        if (s.used < block_size)
            return;
        compress(s.block, 1);
        s.used = 0;
    }
    if (n >= block_size) {
        compress(data, n / block_size);
        data += n / block_size * block_size;
        n %= block_size;
    }
    std::memcpy(s.block, data, n);
    s.used = n;
}

// The padding: 0x80, zeros, and the length in bits as the last 8 (or 16)
// bytes of a block.
template <typename State, typename Compress>
void pad(State& s, size_t block_size, size_t length_bytes, Compress compress)
{
    const uint64_t bits = s.total * 8;
    s.block[s.used++] = 0x80;
    if (s.used > block_size - length_bytes) {
        std::memset(s.block + s.used, 0, block_size - s.used);
        compress(s.block, 1);
        s.used = 0;
    }
    std::memset(s.block + s.used, 0, block_size - s.used);
    store_be64(s.block + block_size - 8, bits);
    compress(s.block, 1);
}

}  // namespace

void sha256_blocks_portable(uint32_t* state, const uint8_t* data, size_t blocks)
{
    for (; blocks > 0; --blocks, data += 64) {
        uint32_t w[64];
        for (int t = 0; t < 16; ++t)
            w[t] = load_be32(data + 4 * t);
        for (int t = 16; t < 64; ++t) {
            const uint32_t s0 = rotr(w[t - 15], 7) ^ rotr(w[t - 15], 18) ^ (w[t - 15] >> 3);
            const uint32_t s1 = rotr(w[t - 2], 17) ^ rotr(w[t - 2], 19) ^ (w[t - 2] >> 10);
            w[t] = w[t - 16] + s0 + w[t - 7] + s1;
        }
        uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4], f = state[5],
                 g = state[6], h = state[7];
        for (int t = 0; t < 64; ++t) {
            const uint32_t t1 = h + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + ((e & f) ^ (~e & g)) + K256[t] + w[t];
            const uint32_t t2 = (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
            h = g;
            g = f;
            f = e;
            e = d + t1;
            d = c;
            c = b;
            b = a;
            a = t1 + t2;
        }
        state[0] += a, state[1] += b, state[2] += c, state[3] += d;
        state[4] += e, state[5] += f, state[6] += g, state[7] += h;
    }
}

void sha1_blocks_portable(uint32_t* state, const uint8_t* data, size_t blocks)
{
    for (; blocks > 0; --blocks, data += 64) {
        uint32_t w[80];
        for (int t = 0; t < 16; ++t)
            w[t] = load_be32(data + 4 * t);
        for (int t = 16; t < 80; ++t)
            w[t] = rotl(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);
        uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];
        for (int t = 0; t < 80; ++t) {
            uint32_t f, k;
            if (t < 20)
                f = (b & c) | (~b & d), k = 0x5a827999;
            else if (t < 40)
                f = b ^ c ^ d, k = 0x6ed9eba1;
            else if (t < 60)
                f = (b & c) | (b & d) | (c & d), k = 0x8f1bbcdc;
            else
                f = b ^ c ^ d, k = 0xca62c1d6;
            const uint32_t temp = rotl(a, 5) + f + e + k + w[t];
            e = d;
            d = c;
            c = rotl(b, 30);
            b = a;
            a = temp;
        }
        state[0] += a, state[1] += b, state[2] += c, state[3] += d, state[4] += e;
    }
}

Sha32Blocks sha256_blocks_instructions()
{
#ifdef KHEX_SHA_INSTRUCTIONS
    return has_sha_instructions() ? sha256_blocks_sha : nullptr;
#else
    return nullptr;
#endif
}

Sha32Blocks sha1_blocks_instructions()
{
#ifdef KHEX_SHA_INSTRUCTIONS
    return has_sha_instructions() ? sha1_blocks_sha : nullptr;
#else
    return nullptr;
#endif
}

void sha256_start(Sha256& s)
{
    static constexpr uint32_t H0[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                       0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    std::memcpy(s.state, H0, sizeof H0);
    s.used = 0;
    s.total = 0;
    s.compress = sha256_compress();
}

void sha256_update(Sha256& s, const uint8_t* data, size_t n)
{
    buffered_update(s, data, n, 64, [&s](const uint8_t* p, size_t blocks) { s.compress(s.state, p, blocks); });
}

void sha256_finish(Sha256& s, uint8_t out[32])
{
    pad(s, 64, 8, [&s](const uint8_t* p, size_t blocks) { s.compress(s.state, p, blocks); });
    for (int i = 0; i < 8; ++i)
        store_be32(out + 4 * i, s.state[i]);
}

void sha1_start(Sha1& s)
{
    static constexpr uint32_t H0[5] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476, 0xc3d2e1f0};
    std::memcpy(s.state, H0, sizeof H0);
    s.used = 0;
    s.total = 0;
    s.compress = sha1_compress();
}

void sha1_update(Sha1& s, const uint8_t* data, size_t n)
{
    buffered_update(s, data, n, 64, [&s](const uint8_t* p, size_t blocks) { s.compress(s.state, p, blocks); });
}

void sha1_finish(Sha1& s, uint8_t out[20])
{
    pad(s, 64, 8, [&s](const uint8_t* p, size_t blocks) { s.compress(s.state, p, blocks); });
    for (int i = 0; i < 5; ++i)
        store_be32(out + 4 * i, s.state[i]);
}

void sha512_start(Sha512& s)
{
    static constexpr uint64_t H0[8] = {0x6a09e667f3bcc908, 0xbb67ae8584caa73b, 0x3c6ef372fe94f82b,
                                       0xa54ff53a5f1d36f1, 0x510e527fade682d1, 0x9b05688c2b3e6c1f,
                                       0x1f83d9abfb41bd6b, 0x5be0cd19137e2179};
    std::memcpy(s.state, H0, sizeof H0);
    s.used = 0;
    s.total = 0;
}

void sha512_update(Sha512& s, const uint8_t* data, size_t n)
{
    buffered_update(s, data, n, 128, [&s](const uint8_t* p, size_t blocks) { sha512_blocks(s.state, p, blocks); });
}

void sha512_finish(Sha512& s, uint8_t out[64])
{
    // the length takes 16 bytes; lengths below 2^64 bits leave the first 8 zero
    pad(s, 128, 16, [&s](const uint8_t* p, size_t blocks) { sha512_blocks(s.state, p, blocks); });
    for (int i = 0; i < 8; ++i)
        store_be64(out + 8 * i, s.state[i]);
}

}  // namespace khex
