// Hex digits for the record writers, from a table.
#pragma once
#include <cstdint>
#include <cstring>

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

// Writes value in lower-case hex digits, at least min_digits of them, as
// printf's "%0*lx" would; returns the position after them.
inline char* put_hex_lower(char* out, uint32_t value, int min_digits)
{
    int digits = 1;
    while (digits < 8 && (value >> (4 * digits)) != 0)
        ++digits;
    if (digits < min_digits)
        digits = min_digits;
    for (int i = digits - 1; i >= 0; --i) {
        out[i] = "0123456789abcdef"[value & 0xF];
        value >>= 4;
    }
    return out + digits;
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

// The sum of the values of both hex digits of every byte value.
struct DigitSums {
    uint8_t sum[256];
    constexpr DigitSums() : sum()
    {
        for (int b = 0; b < 256; ++b)
            sum[b] = static_cast<uint8_t>((b >> 4) + (b & 0xF));
    }
};
inline constexpr DigitSums DIGIT_SUMS;

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

// The digits of n data operations of op_bytes bytes each, operation k taken
// from data + k * stride: a lane of memory words or a contiguous run. Returns
// the sum of the byte values, or with DIGITS the sum of their digit values.
template <bool DIGITS = false>
inline uint32_t hex_encode_ops(char* out, const uint8_t* data, int n, int op_bytes, int stride)
{
    uint32_t sum = 0;
    auto one = [&](uint8_t b) {
        std::memcpy(out, HEX_PAIRS.digits + 2 * b, 2);
        out += 2;
        sum += DIGITS ? DIGIT_SUMS.sum[b] : b;
    };
    if (op_bytes == stride) {
        for (int i = 0; i < n * op_bytes; ++i)
            one(data[i]);
    } else if (op_bytes == 1) {
        for (int k = 0; k < n; ++k)
            one(data[static_cast<size_t>(k) * static_cast<size_t>(stride)]);
    } else {
        for (int k = 0; k < n; ++k)
            for (int i = 0; i < op_bytes; ++i)
                one(data[static_cast<size_t>(k) * static_cast<size_t>(stride) + static_cast<size_t>(i)]);
    }
    return sum;
}

}  // namespace khex
