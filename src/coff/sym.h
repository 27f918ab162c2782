// sym: the external symbols of the COFF file in a hashed table, and the symbol
// requests of the options (-e with a name, -reg_config values given as names).
#pragma once
#include <cstdint>
#include <string>

namespace khex {

constexpr uint32_t SYMBOL_BUCKETS = 2030;

uint32_t symbol_hash(const char* name);

void clear_symbol_table();
bool read_symbols();
bool lookup_symbol(const char* name, uint32_t& value);
void resolve_entry_point();
void resolve_reg_config_symbols();

}  // namespace khex
