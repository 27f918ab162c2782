// Hex digits for the record writers, from a table.
#pragma once
#include <cstdint>

namespace khex {

inline constexpr char HEX_DIGITS[] = "0123456789ABCDEF";

// Writes value as `digits` upper-case hex digits; returns the position after them.
inline char* put_hex(char* out, uint32_t value, int digits)
{
    for (int i = digits - 1; i >= 0; --i) {
        out[i] = HEX_DIGITS[value & 0xF];
        value >>= 4;
    }
    return out + digits;
}

// The value of a hex digit character (0 for anything else).
inline int hex_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return 0;
}

// The two digits of every byte value, high nibble first.
struct HexPairs {
    char digits[512];
    constexpr HexPairs() : digits()
    {
        for (int b = 0; b < 256; ++b) {
            digits[2 * b] = HEX_DIGITS[b >> 4];
            digits[2 * b + 1] = HEX_DIGITS[b & 0xF];
        }
    }
};
inline constexpr HexPairs HEX_PAIRS;

// Two upper-case digits per byte, high nibble first; returns 2 * n.
inline int hex_encode(char* out, const uint8_t* bytes, int n)
{
    for (int i = 0; i < n; ++i) {
        const char* pair = HEX_PAIRS.digits + 2 * bytes[i];
        out[2 * i] = pair[0];
        out[2 * i + 1] = pair[1];
    }
    return 2 * n;
}

// hex_encode that also returns the sum of the byte values, for checksums.
inline uint32_t hex_encode_summing(char* out, const uint8_t* bytes, int n)
{
    uint32_t sum = 0;
    for (int i = 0; i < n; ++i) {
        const char* pair = HEX_PAIRS.digits + 2 * bytes[i];
        out[2 * i] = pair[0];
        out[2 * i + 1] = pair[1];
        sum += bytes[i];
    }
    return sum;
}

}  // namespace khex
