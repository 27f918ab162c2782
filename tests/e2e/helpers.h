// Shared pieces of the end-to-end tests: small programs and expected texts.
#pragma once
#include <string>

#include "coff_builder.h"
#include "runner.h"

namespace khextest {

// .text: 8 bytes at 0x100, .data: 4 bytes at 0x200, .bss: 16 bytes at 0x300,
// symbols _main (0x104) and _start (0x100), entry point 0x100.
inline coffgen::Coff small_program()
{
    coffgen::Coff c;
    c.entry_point = 0x100;
    c.sections = {
        {".text", 0x100, {0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17}, 0, coffgen::STYP_TEXT},
        {".data", 0x200, {0xD0, 0xD1, 0xD2, 0xD3}, 0, coffgen::STYP_DATA},
        {".bss", 0x300, {}, 16, coffgen::STYP_BSS},
    };
    c.symbols = {{"_main", 0x104}, {"_start", 0x100}};
    return c;
}

// A DEBUG file of one range written without gaps between records.
inline std::string debug_file(const std::string& lines)
{
    return "*** FILE HEADER ***\n" + lines + "*** FILE FOOTER ***\n";
}

}  // namespace khextest
