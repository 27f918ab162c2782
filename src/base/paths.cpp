#include "base/paths.h"

#include <algorithm>

namespace khex {

namespace {

constexpr size_t PART_LIMIT = 499;

}  // namespace

PathParts split_path(const std::string& path)
{
    size_t start = path.find_last_of("\\/:");
    std::string name = start == std::string::npos ? path : path.substr(start + 1);
    size_t dot = name.rfind('.');
    PathParts parts;
    if (dot == std::string::npos) {
        parts.base = name;
    } else if (dot + 1 == name.size()) {
        parts.base = name;  // a trailing dot stays with the base
    } else {
        parts.base = name.substr(0, dot);
        parts.extension = name.substr(dot + 1);
    }
    parts.base.resize(std::min(parts.base.size(), PART_LIMIT));
    parts.extension.resize(std::min(parts.extension.size(), PART_LIMIT));
    return parts;
}

// A name has an extension when it holds a dot that no directory separator follows.
std::string set_extension(const std::string& name, const std::string& ext, bool replace)
{
    size_t dot = name.rfind('.');
    bool has_extension = dot != std::string::npos && name.find_first_of("\\/", dot) == std::string::npos;
    if (has_extension) {
        if (!replace)
            return name;
        if (ext.empty())
            return name.substr(0, dot);
        return name.substr(0, dot + 1) + (ext[0] == '.' ? ext.substr(1) : ext);
    }
    if (ext.empty())
        return name;
    return name + (ext[0] == '.' ? ext : "." + ext);
}

}  // namespace khex
