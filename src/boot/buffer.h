// The boot buffer: pads a boot-loaded section's bytes as the boot loader needs
// and places them behind the section's record, carrying bytes that do not fit a
// piece into the next one.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace khex {

struct Run;
struct SectionHeader;

struct BootBuffer {
    std::vector<uint8_t> storage;   // capacity bytes and room for memory-word padding
    size_t capacity = 0;            // 0 until the first boot-loaded piece
    size_t length = 0;              // boot_buffer_length
    std::vector<uint8_t> overflow;  // bytes carried into the next piece
    size_t overflow_length = 0;     // boot_overflow_length
};

int boot_buffer_add(Run& run, const SectionHeader& section, const uint8_t* data, uint32_t address, int nbytes);

}  // namespace khex
