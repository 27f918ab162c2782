// The checksum, CRC and digest algorithms khex can store in a ROM image: one
// engine and a table of named rows, each with its catalogue parameters and
// its check value over the nine bytes "123456789". A value is bytes: a
// number's most significant first, a digest's in the order it is output.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "memory/digests.h"

namespace khex {

enum AlgorithmKind {
    KIND_CRC,     // a CRC of the row's width, polynomial, ...
    KIND_SUM,     // the sum of the bytes modulo 2^width
    KIND_NEGSUM,  // its two's complement: the bytes and the value sum to 0
    KIND_SHA1,    // FIPS 180-4 digests: a string of bytes, not a number
    KIND_SHA256,
    KIND_SHA512,
};

// The most bytes a value has (a SHA-512 digest).
constexpr int MAX_VALUE_BYTES = 64;

struct ChecksumAlgorithm {
    const char* name;   // lower case; matched case-insensitively
    const char* alias;  // another name it answers to, or nullptr
    AlgorithmKind kind;
    int width;          // bits: 8, 16 or 32; a digest's 160, 256 or 512
    uint32_t poly;      // CRC: the polynomial without its top bit, as catalogues write it
    uint32_t init;      // CRC: the register's first value, unreflected
    bool refin;         // CRC: bytes enter least significant bit first
    bool refout;        // CRC: the register is reflected before the final XOR
    uint32_t xorout;
    const char* check;  // the value over "123456789", as hex digits of its bytes
};

// Whether the algorithm's value is a string of bytes (a digest), not a number.
inline bool is_digest(const ChecksumAlgorithm& a)
{
    return a.kind == KIND_SHA1 || a.kind == KIND_SHA256 || a.kind == KIND_SHA512;
}

extern const ChecksumAlgorithm checksum_algorithms[];
extern const int checksum_algorithm_count;

// The row of a catalogue name or alias, in any case; nullptr when none has it.
const ChecksumAlgorithm* find_algorithm(const std::string& name);

// The engine's running state for one algorithm: tables of register updates,
// built once (table[0] for one byte, table[k] for a byte k places further
// ahead, so that eight bytes take one step), and the register.
struct ChecksumEngine {
    ChecksumAlgorithm algorithm;
    uint32_t table[8][256];
    uint32_t reg;
    Sha1 sha1;          // the digests' states
    Sha256 sha256;
    Sha512 sha512;
};

void engine_start(ChecksumEngine& engine, const ChecksumAlgorithm& algorithm);
void engine_update(ChecksumEngine& engine, const uint8_t* data, size_t n);
// The value of the bytes so far as a number, in the algorithm's width (CRCs
// and sums).
uint32_t engine_value(const ChecksumEngine& engine);
// The value of the bytes so far as its bytes, width / 8 of them; the engine
// goes on taking bytes.
void engine_bytes(const ChecksumEngine& engine, uint8_t* out);

}  // namespace khex
