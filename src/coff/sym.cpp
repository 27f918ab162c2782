#include "coff/sym.h"

#include <cstring>
#include <deque>
#include <memory>
#include <vector>

#include "coff/loader.h"
#include "driver/diagnostics.h"
#include "driver/options.h"
#include "memory/map.h"

namespace khex {

namespace {

constexpr int SYMBOL_ENTRY_SIZE = 18;
constexpr uint8_t C_EXT = 2;
constexpr uint8_t C_EXTREF = 5;
constexpr size_t NAME_BLOCK_SIZE = 1024;

struct SymbolRecord {
    const char* name;
    uint32_t value;
    SymbolRecord* next;
};

struct SymbolTable {
    SymbolRecord* buckets[SYMBOL_BUCKETS];
    std::deque<SymbolRecord> records;
    // Short names live in blocks of 1024 bytes; long names stay in the string table.
    std::vector<std::unique_ptr<char[]>> name_blocks;
    size_t block_used;
    std::deque<std::string> long_names;
};
SymbolTable table;

const char* store_short_name(const std::string& name)
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
    uint32_t value() const { return header32(bytes + 8); }
    int storage_class() const { return bytes[16]; }
    int aux_count() const { return bytes[17]; }
    bool long_name() const { return (bytes[0] | bytes[1] | bytes[2] | bytes[3]) == 0; }
};

// Reads entry i (and its first auxiliary entry); returns the number of the next
// symbol entry, or -1 on a read failure.
int64_t read_symbol_entry(int64_t i, SymbolEntry& entry, uint8_t* aux)
{
    uint64_t position = coff.symbol_offset + uint64_t{SYMBOL_ENTRY_SIZE} * static_cast<uint64_t>(i);
    if (!read_coff_bytes(position, entry.bytes, SYMBOL_ENTRY_SIZE))
        return -1;
    if (entry.aux_count() > 0 && !read_coff_bytes(position + SYMBOL_ENTRY_SIZE, aux, SYMBOL_ENTRY_SIZE))
        return -1;
    return i + 1 + entry.aux_count();
}

void add_symbol(const SymbolEntry& entry, const std::string& name)
{
    const char* text = entry.long_name() ? table.long_names.emplace_back(name).c_str() : store_short_name(name);
    uint32_t value = entry.value();
    uint32_t bucket = symbol_hash(text);
    for (const SymbolRecord* r = table.buckets[bucket]; r; r = r->next)
        if (r->value == value && std::strcmp(r->name, text) == 0)
            return;
    table.buckets[bucket] = &table.records.emplace_back(SymbolRecord{text, value, table.buckets[bucket]});
    if (options.symtrace > 0)
        std::printf("Adding symbol %-15.15s, type %s, address %#08lx, index %d\n", text,
                    entry.storage_class() == C_EXT ? "C_EXT" : "C_EXTREF", static_cast<unsigned long>(value),
                    static_cast<int>(bucket));
}

}  // namespace

uint32_t symbol_hash(const char* name)
{
    uint32_t h = 0;
    for (const char* p = name; *p; ++p)
        h = (h << 1) ^ static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(*p)));
    return h % SYMBOL_BUCKETS;
}

void clear_symbol_table()
{
    std::fill(std::begin(table.buckets), std::end(table.buckets), nullptr);
    table.records.clear();
    table.name_blocks.clear();
    table.block_used = 0;
    table.long_names.clear();
}

bool lookup_symbol(const char* name, uint32_t& value)
{
    for (const SymbolRecord* r = table.buckets[symbol_hash(name)]; r; r = r->next) {
        if (std::strcmp(r->name, name) == 0) {
            value = r->value;
            return true;
        }
    }
    return false;
}

void resolve_entry_point()
{
    if (options.has_entry_symbol) {
        uint32_t value;
        if (lookup_symbol(options.entry_symbol.c_str(), value))
            options.entry_address = value;
        else
            report(SEVERITY_ERROR, "Requested boot table entry point symbol '%s' not found\n",
                   options.entry_symbol.c_str());
    }
    if (options.entry_address == NOT_GIVEN)
        options.entry_address = coff.coff_entry_point;
    if (options.device == 7734 && options.revision < 2 && (options.entry_address & 1))
        fatal("Specified entry point at address 0x%x is not aligned to\n"
              "          an even byte boundary as required for a boot loader\n"
              "          of the requested type",
              options.entry_address);
}

void resolve_reg_config_symbols()
{
    for (BootEntry& entry : options.boot_entries) {
        if (entry.kind != BOOT_REGISTER_SYMBOL)
            continue;
        uint32_t value;
        if (lookup_symbol(entry.name.c_str(), value)) {
            entry.value = value;
            entry.kind = BOOT_REGISTER;
            entry.name.clear();
        } else {
            report(SEVERITY_ERROR, "Requested -reg_config symbol '%s' not found\n", entry.name.c_str());
        }
    }
}

// A file without symbol entries still answers the -e and -reg_config requests,
// so that a boot table never carries an entry point or register count that no
// message explained; it only gets no map header.
bool read_symbols()
{
    if (coff.symbol_count == 0) {
        resolve_entry_point();
        resolve_reg_config_symbols();
        return true;
    }
    for (int64_t i = 0; i < coff.symbol_count;) {
        SymbolEntry entry;
        uint8_t aux[SYMBOL_ENTRY_SIZE];
        int64_t next = read_symbol_entry(i, entry, aux);
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
        if (!resolve_name(entry.bytes, name)) {
            coff.load_failure = LOAD_BAD_NAME_OFFSET;
            return false;
        }
        if (entry.storage_class() == C_EXT || entry.storage_class() == C_EXTREF)
            add_symbol(entry, name);
        else if (options.symtrace > 0)
            std::printf("Skip   symbol %-15.15s, type %d\n", name.c_str(),
                        static_cast<int>(static_cast<signed char>(entry.storage_class())));
        i = next;
    }
    resolve_entry_point();
    resolve_reg_config_symbols();
    if (options.map_file)
        write_map_header();
    return true;
}

}  // namespace khex
