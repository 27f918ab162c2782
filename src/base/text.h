// Case folding as every matcher of khex does it: A to Z only, so that a name
// in another code page is never changed.
#pragma once
#include <string>
#include <string_view>

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
