#include "coff/sym.h"

#include <cstring>
#include <deque>
#include <memory>
#include <vector>

#include "coff/loader.h"

namespace khex {

namespace {

constexpr int SYMBOL_ENTRY_SIZE = 18;
constexpr uint8_t C_EXT = 2;
constexpr uint8_t C_EXTREF = 5;
constexpr size_t NAME_BLOCK_SIZE = 1024;

const char* store_short_name(SymbolTable& table, const std::string& name)
{
    if (table.name_blocks.empty() || NAME_BLOCK_SIZE - table.block_used < 9) {
        table.name_blocks.push_back(std::make_unique<char[]>(NAME_BLOCK_SIZE));
        table.block_used = 0;
    }
    char* copy = table.name_blocks.back().get() + table.block_used;
    std::memcpy(copy, name.c_str(), name.size() + 1);
    table.block_used += name.size() + 1;
    return copy;
}

struct SymbolEntry {
    uint8_t bytes[SYMBOL_ENTRY_SIZE];
    uint32_t value(const CoffState& coff) const { return header32(coff, bytes + 8); }
    int16_t section(const CoffState& coff) const { return static_cast<int16_t>(header16(coff, bytes + 12)); }
    int storage_class() const { return bytes[16]; }
    int aux_count() const { return bytes[17]; }
    bool long_name() const { return (bytes[0] | bytes[1] | bytes[2] | bytes[3]) == 0; }
};

// Reads entry i (and its first auxiliary entry); returns the number of the next
// symbol entry, or -1 on a read failure.
int64_t read_symbol_entry(CoffReader& reader, int64_t i, SymbolEntry& entry, uint8_t* aux)
{
    uint64_t position = reader.coff.symbol_offset + uint64_t{SYMBOL_ENTRY_SIZE} * static_cast<uint64_t>(i);
    if (!read_coff_bytes(reader, position, entry.bytes, SYMBOL_ENTRY_SIZE))
        return -1;
    if (entry.aux_count() > 0 && !read_coff_bytes(reader, position + SYMBOL_ENTRY_SIZE, aux, SYMBOL_ENTRY_SIZE))
        return -1;
    return i + 1 + entry.aux_count();
}

}  // namespace

void enter_symbol(CoffReader& reader, SymbolTable& table, const std::string& name, uint32_t value, int16_t section,
                  const char* type)
{
    const char* text = name.size() > 8 ? table.long_names.emplace_back(name).c_str() : store_short_name(table, name);
    uint32_t bucket = symbol_hash(text);
    for (const SymbolRecord* r = table.buckets[bucket]; r; r = r->next)
        if (r->value == value && std::strcmp(r->name, text) == 0)
            return;
    table.buckets[bucket] = &table.records.emplace_back(SymbolRecord{text, value, section, table.buckets[bucket]});
    if (reader.options.symtrace > 0)
        std::fprintf(reader.diagnostics.console.out, "Adding symbol %-15.15s, type %s, address %#08lx, index %d\n", text,
                    type, static_cast<unsigned long>(value), static_cast<int>(bucket));
}

uint32_t symbol_hash(const char* name)
{
    uint32_t h = 0;
    for (const char* p = name; *p; ++p)
        h = (h << 1) ^ static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(*p)));
    return h % SYMBOL_BUCKETS;
}

const SymbolRecord* find_symbol(const SymbolTable& table, const char* name)
{
    for (const SymbolRecord* r = table.buckets[symbol_hash(name)]; r; r = r->next)
        if (std::strcmp(r->name, name) == 0)
            return r;
    return nullptr;
}

bool lookup_symbol(const SymbolTable& table, const char* name, uint32_t& value)
{
    const SymbolRecord* r = find_symbol(table, name);
    if (r)
        value = r->value;
    return r != nullptr;
}

bool read_symbols(CoffReader& reader, SymbolTable& symbols)
{
    CoffState& coff = reader.coff;
    if (coff.elf)
        return read_elf_symbols(reader, symbols);
    for (int64_t i = 0; i < coff.symbol_count;) {
        SymbolEntry entry;
        uint8_t aux[SYMBOL_ENTRY_SIZE];
        int64_t next = read_symbol_entry(reader, i, entry, aux);
        if (next < 0) {
            coff.load_failure = LOAD_SYMBOL_READ_ERROR;
            return false;
        }
        if (entry.aux_count() >= 128) {  // no linker writes that many
            coff.load_failure = LOAD_BAD_SYMBOL_TABLE;
            return false;
        }
        std::string name;
        if (entry.long_name() && coff.string_table.empty()) {
            coff.load_failure = LOAD_BAD_NAME_OFFSET;
            return false;
        }
        if (!resolve_name(coff, entry.bytes, name)) {
            coff.load_failure = LOAD_BAD_NAME_OFFSET;
            return false;
        }
        if (entry.storage_class() == C_EXT || entry.storage_class() == C_EXTREF)
            enter_symbol(reader, symbols, name, entry.value(coff), entry.section(coff),
                         entry.storage_class() == C_EXT ? "C_EXT" : "C_EXTREF");
        else if (reader.options.symtrace > 0)
            std::fprintf(reader.diagnostics.console.out, "Skip   symbol %-15.15s, type %d\n", name.c_str(),
                        static_cast<int>(static_cast<signed char>(entry.storage_class())));
        i = next;
    }
    return true;
}

}  // namespace khex
