#include <filesystem>

#include "platform/platform.h"

namespace khex {

std::string file_identity(const std::string& path)
{
    std::string identity;
    if (existing_identity(path, identity))
        return identity;
    namespace fs = std::filesystem;
    std::error_code error;
    fs::path absolute = fs::weakly_canonical(fs::absolute(path, error), error);
    identity = "path " + (error ? path : absolute.string());
    if (names_ignore_case())
        for (char& c : identity)
            c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return identity;
}

}  // namespace khex
