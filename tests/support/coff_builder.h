// Builds Kestrel COFF executables for tests, the bundled example and the
// benchmark: any header version, either byte order, any optional header size,
// sections with flags, pages and long names, symbols with auxiliary entries,
// string tables and autoinitialisation records.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace coffgen {

using Bytes = std::vector<uint8_t>;

enum SectionFlags : uint32_t {
    STYP_DSECT = 0x0001,
    STYP_NOLOAD = 0x0002,
    STYP_COPY = 0x0010,
    STYP_TEXT = 0x0020,
    STYP_DATA = 0x0040,
    STYP_BSS = 0x0080,
};

struct Section {
    std::string name;
    uint32_t vaddr = 0;
    Bytes data;              // raw data written to the file
    uint32_t size = 0;       // s_size when there is no data (uninitialised sections)
    uint32_t flags = STYP_DATA;
    uint16_t page = 0;
    bool has_paddr = false;  // paddr differs from vaddr
    uint32_t paddr = 0;
};

struct Symbol {
    std::string name;
    uint32_t value = 0;
    int16_t section = 1;
    uint8_t storage_class = 2;  // C_EXT
    uint8_t aux_count = 0;      // auxiliary entries written after the symbol
};

struct Coff {
    uint16_t version = 0x00C2;     // 0x00C0, 0x00C1, 0x00C2 or 0x009C
    bool big_endian_headers = false;
    bool target_big_endian = false;
    int device_code = 4;           // flags bits 4..7 (4: the K7734)
    uint16_t extra_flags = 0;
    uint16_t target_id = 0x009C;
    uint16_t optional_header_size = 28;
    uint32_t entry_point = 0;
    std::vector<Section> sections;
    std::vector<Symbol> symbols;
    bool force_string_table = false;  // write a string table even without long names

    Bytes build() const;

    // File offsets of the parts, valid after build().
    mutable uint32_t section_table_offset = 0;
    mutable uint32_t symbol_table_offset = 0;
    mutable uint32_t string_table_offset = 0;
    mutable std::vector<uint32_t> data_offsets;
};

// An autoinitialisation record: word count, address, data (data.size() even).
Bytes cinit_record(uint32_t address, const Bytes& data, bool big_endian);

// The bundled example: .text, .data, a RAM-model .cinit with records for .bss,
// .bss, and symbols with the entry point _c_int00.
Coff demo_program();

// Patches a header field in the file's header byte order.
void put16(Bytes& file, size_t offset, uint16_t value, bool big_endian);
void put32(Bytes& file, size_t offset, uint32_t value, bool big_endian);

// Bytes 0, 1, 2, ... (mod 256) starting at the given value.
Bytes pattern(size_t n, uint8_t first = 0);

void write_file(const std::string& path, const Bytes& bytes);

}  // namespace coffgen
