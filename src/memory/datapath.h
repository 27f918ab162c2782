// The data path: every piece of section data goes into the ROM ranges (or the
// boot table) in one forward pass, without a memory image.
#pragma once
#include <cstdint>

namespace khex {

struct SectionSpec;

void reset_datapath();

// Called by the loader for every piece of section data.
void write_target_memory(uint8_t* data, int nbytes, uint32_t address);

uint32_t physical_address(uint32_t address);

// Puts nbytes bytes whose first byte belongs at address into the ranges, on the
// page of the current spec. The buffer must have room for memwidth - 1 pad bytes
// after the data. Returns the bytes handed to the writers, pad bytes included.
int place_data(uint8_t* data, int nbytes, uint32_t address);

void arrange_bytes(uint8_t* data, int nbytes);
void advance_range(uint32_t last);
void report_unplaced(uint32_t address);
void close_range();
void finish_conversion();

}  // namespace khex
