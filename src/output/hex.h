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

// Two upper-case digits per byte, high nibble first; returns 2 * n.
int hex_encode(char* out, const uint8_t* bytes, int n);

}  // namespace khex
