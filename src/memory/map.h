// The map file: a header with the conversion's parameters, then one entry per
// ROM range as it is closed.
#pragma once
#include <vector>

#include "memory/contents.h"

namespace khex {

void reset_map();
void write_map_header();
// The map entry of the current range, with what it holds.
void write_map_range(const std::vector<ContentEntry>& contents);
// Closes the map file, reporting a failed write.
void close_map_file();

}  // namespace khex
