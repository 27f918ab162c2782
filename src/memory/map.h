// The map file: a header with the conversion's parameters, then one entry per
// ROM range as it is closed.
#pragma once

namespace khex {

void reset_map();
void write_map_header();
void write_map_range();
// Closes the map file, reporting a failed write.
void close_map_file();

}  // namespace khex
