// Text as every matcher of khex reads it: case folded A to Z only, so that a
// name in another code page is never changed; hex digits; comma lists.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace khex {

inline char fold_case(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string folded(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = fold_case(c);
    return out;
}

// The value of a hex digit, or -1 for any other character.
inline int hex_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// The parts of a text between its commas, empty ones included.
inline std::vector<std::string> split_commas(const std::string& text)
{
    std::vector<std::string> parts;
    for (size_t start = 0;;) {
        const size_t comma = text.find(',', start);
        parts.push_back(text.substr(start, comma == std::string::npos ? comma : comma - start));
        if (comma == std::string::npos)
            return parts;
        start = comma + 1;
    }
}

inline bool same_folded(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (fold_case(a[i]) != fold_case(b[i]))
            return false;
    return true;
}

}  // namespace khex
