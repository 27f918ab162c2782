// sym: the external symbols of the COFF file in a hashed table, for the
// symbol requests of the options (-e with a name, -reg_config values given as
// names).
#pragma once
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace khex {

struct CoffReader;

constexpr uint32_t SYMBOL_BUCKETS = 2030;

struct SymbolRecord {
    const char* name;
    uint32_t value;
    int16_t section;  // 1 for the first section of the table; 0 none, -1 absolute, -2 debugging
    SymbolRecord* next;
};

struct SymbolTable {
    SymbolRecord* buckets[SYMBOL_BUCKETS] = {};
    std::deque<SymbolRecord> records;
    // Short names live in blocks of 1024 bytes; long names stay as read.
    std::vector<std::unique_ptr<char[]>> name_blocks;
    size_t block_used = 0;
    std::deque<std::string> long_names;
};

uint32_t symbol_hash(const char* name);

// The symbol pass: external symbols into the table; false with the COFF
// file's load failure set when the symbol table is unreadable.
bool read_symbols(CoffReader& reader, SymbolTable& symbols);
// The symbols of an ELF file's .symtab (coff/elf.cpp), global and local.
bool read_elf_symbols(CoffReader& reader, SymbolTable& symbols);
// Enters one symbol, unless one of that name and value is in the table;
// type names its kind in the symbol trace.
void enter_symbol(CoffReader& reader, SymbolTable& table, const std::string& name, uint32_t value, int16_t section,
                  const char* type);
bool lookup_symbol(const SymbolTable& table, const char* name, uint32_t& value);
// The symbol lookup_symbol finds, or nullptr.
const SymbolRecord* find_symbol(const SymbolTable& table, const char* name);

}  // namespace khex
