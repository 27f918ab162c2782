// File names: extensions of input names and the default names of output files.
#pragma once
#include <string>

#include "base/paths.h"

namespace khex {

struct Run;


// Name of an output file that neither the ROMS directive nor -o supplied.
std::string default_output_name(const Run& run, int range_index, bool several_ranges, int file_index);

}  // namespace khex
