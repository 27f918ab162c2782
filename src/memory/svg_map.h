// The map's picture (-mapsvg): one self-contained SVG file of the ROM layout,
// a band per memory page with each range as a box, its lane files, and every
// section, boot table part, fill area and gap at its address.
#pragma once
#include <vector>

#include "memory/contents.h"

namespace khex {

struct RomRange;

void reset_svg_map();

// Keeps what a range holds as it is closed.
void svg_map_range(const RomRange& r, const std::vector<ContentEntry>& contents);

// At the end of a run that converted: writes the picture and closes its file.
void write_svg_map();

}  // namespace khex
