// Writes the program of a coffgen::Coff as a 32-bit ELF executable, for the
// tests that hold an ELF build of a program to its COFF build: the same
// section bytes, names, symbols and entry point, a PT_LOAD segment for each
// allocated section, the byte order of the COFF file's target.
#pragma once
#include <cstdint>
#include <map>
#include <string>

#include "coff_builder.h"

namespace coffgen {

struct ElfOptions {
    int addrunit = 8;                        // 16: every address written as a count of 16-bit words
    std::map<std::string, uint32_t> load_at{};// a section's load address (byte address) other than its own
    bool segments = true;                    // false: no program headers at all
    bool symbols = true;                     // false: no .symtab
};

// File offsets of the parts of the last build, for tests that cut or flip them.
struct ElfLayout {
    size_t program_headers = 0;
    size_t section_headers = 0;
    size_t symbols = 0;
    size_t data = 0;
};

Bytes elf_from(const Coff& coff, const ElfOptions& options = {}, ElfLayout* layout = nullptr);

}  // namespace coffgen
