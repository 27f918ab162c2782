// SHA-1, SHA-256 and SHA-512 (FIPS 180-4): the digests a ROM can carry and a
// signer signs. Each takes bytes in pieces of any length; SHA-1 and SHA-256
// use the processor's SHA instructions where it has them (x86 SHA
// extensions, asked at run time), the portable code elsewhere.
#pragma once
#include <cstddef>
#include <cstdint>

namespace khex {

// Compresses `blocks` blocks of 64 bytes into the state.
using Sha32Blocks = void (*)(uint32_t* state, const uint8_t* data, size_t blocks);

struct Sha256 {
    uint32_t state[8];
    uint8_t block[64];
    size_t used;        // bytes in block
    uint64_t total;     // bytes so far
    Sha32Blocks compress;
};

struct Sha1 {
    uint32_t state[5];
    uint8_t block[64];
    size_t used;
    uint64_t total;
    Sha32Blocks compress;
};

struct Sha512 {
    uint64_t state[8];
    uint8_t block[128];
    size_t used;
    uint64_t total;
};

void sha256_start(Sha256& s);
void sha256_update(Sha256& s, const uint8_t* data, size_t n);
void sha256_finish(Sha256& s, uint8_t out[32]);

void sha1_start(Sha1& s);
void sha1_update(Sha1& s, const uint8_t* data, size_t n);
void sha1_finish(Sha1& s, uint8_t out[20]);

void sha512_start(Sha512& s);
void sha512_update(Sha512& s, const uint8_t* data, size_t n);
void sha512_finish(Sha512& s, uint8_t out[64]);

// The block functions, for the tests of both paths: the portable ones, and
// those of the SHA instructions (nullptr where the processor has none).
void sha256_blocks_portable(uint32_t* state, const uint8_t* data, size_t blocks);
void sha1_blocks_portable(uint32_t* state, const uint8_t* data, size_t blocks);
Sha32Blocks sha256_blocks_instructions();
Sha32Blocks sha1_blocks_instructions();

}  // namespace khex
