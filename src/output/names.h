// File names: extensions of input names and the default names of output files.
#pragma once
#include <string>

namespace khex {

struct Run;

struct PathParts {
    std::string base;       // no directory, no extension
    std::string extension;  // without its dot
};

PathParts split_path(const std::string& path);
std::string set_extension(const std::string& name, const std::string& ext, bool replace);

// Name of an output file that neither the ROMS directive nor -o supplied.
std::string default_output_name(const Run& run, int range_index, bool several_ranges, int file_index);

}  // namespace khex
