// File names: a name's base and extension, and a name with another extension.
#pragma once
#include <string>

namespace khex {

struct PathParts {
    std::string base;       // no directory, no extension
    std::string extension;  // without its dot
};

PathParts split_path(const std::string& path);
std::string set_extension(const std::string& name, const std::string& ext, bool replace);

}  // namespace khex
