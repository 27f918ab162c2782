// The checksum and CRC algorithms khex can store in a ROM image: one engine
// and a table of named rows, each with its catalogue parameters and its check
// value over the nine bytes "123456789".
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace khex {

enum AlgorithmKind {
    KIND_CRC,     // a CRC of the row's width, polynomial, ...
    KIND_SUM,     // the sum of the bytes modulo 2^width
    KIND_NEGSUM,  // its two's complement: the bytes and the value sum to 0
};

struct ChecksumAlgorithm {
    const char* name;   // lower case; matched case-insensitively
    const char* alias;  // another name it answers to, or nullptr
    AlgorithmKind kind;
    int width;          // bits: 8, 16 or 32
    uint32_t poly;      // CRC: the polynomial without its top bit, as catalogues write it
    uint32_t init;      // CRC: the register's first value, unreflected
    bool refin;         // CRC: bytes enter least significant bit first
    bool refout;        // CRC: the register is reflected before the final XOR
    uint32_t xorout;
    uint32_t check;     // the value over "123456789"
};

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
};

void engine_start(ChecksumEngine& engine, const ChecksumAlgorithm& algorithm);
void engine_update(ChecksumEngine& engine, const uint8_t* data, size_t n);
// The value of the bytes so far, in the algorithm's width.
uint32_t engine_value(const ChecksumEngine& engine);

}  // namespace khex
