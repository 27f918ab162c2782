#include "output/names.h"

#include "driver/run.h"

namespace khex {

std::string default_output_name(const Run& run, int range_index, bool several_ranges, int file_index)
{
    std::string ext(selected_format(run).extension, 2);
    if (several_ranges)
        ext += std::to_string(range_index);
    ext += std::to_string(file_index);
    return set_extension(split_path(run.input.coff_name).base, ext, true);
}

}  // namespace khex
