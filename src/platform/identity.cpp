#include <filesystem>

#include "base/text.h"
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
        identity = folded(identity);
    return identity;
}

}  // namespace khex
