#include "coff_builder.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace coffgen {

void put16(Bytes& file, size_t offset, uint16_t value, bool big_endian)
{
    file[offset + (big_endian ? 1 : 0)] = value & 0xFF;
    file[offset + (big_endian ? 0 : 1)] = value >> 8;
}

void put32(Bytes& file, size_t offset, uint32_t value, bool big_endian)
{
    for (int i = 0; i < 4; ++i)
        file[offset + (big_endian ? 3 - i : i)] = (value >> (8 * i)) & 0xFF;
}

namespace {

struct Writer {
    Bytes bytes;
    bool big_endian;

    size_t size() const { return bytes.size(); }
    void u8(uint8_t v) { bytes.push_back(v); }
    void u16(uint16_t v)
    {
        bytes.resize(bytes.size() + 2);
        put16(bytes, bytes.size() - 2, v, big_endian);
    }
    void u32(uint32_t v)
    {
        bytes.resize(bytes.size() + 4);
        put32(bytes, bytes.size() - 4, v, big_endian);
    }
    void zeros(size_t n) { bytes.insert(bytes.end(), n, 0); }
    void raw(const Bytes& b) { bytes.insert(bytes.end(), b.begin(), b.end()); }
};

// Short names stand in the field; long ones go to the string table.
void name_field(Writer& w, const std::string& name, std::string& strings)
{
    if (name.size() <= 8) {
        for (size_t i = 0; i < 8; ++i)
            w.u8(i < name.size() ? static_cast<uint8_t>(name[i]) : 0);
        return;
    }
    w.u32(0);
    w.u32(static_cast<uint32_t>(4 + strings.size()));
    strings += name;
    strings += '\0';
}

}  // namespace

Bytes Coff::build() const
{
    const bool v2 = version == 0x00C2;
    const bool v0 = version == 0x00C0 || version == 0x009C;
    const size_t section_header = v2 ? 48 : 40;

    std::string strings;
    Writer w{{}, big_endian_headers};

    w.u16(version);
    w.u16(static_cast<uint16_t>(sections.size()));
    w.u32(0x5F000000);  // time stamp
    w.u32(0);           // symbol table offset, patched below
    w.u32(0);           // symbol count, patched below
    w.u16(optional_header_size);
    w.u16(static_cast<uint16_t>((target_big_endian ? 0x0200 : 0) | ((device_code & 0xF) << 4) | extra_flags));
    if (!v0)
        w.u16(target_id);

    if (optional_header_size == 28) {
        w.u16(0x0108);
        w.u16(1);
        w.u32(0);
        w.u32(0);
        w.u32(0);
        w.u32(entry_point);
        w.u32(0);
        w.u32(0);
    } else {
        w.zeros(optional_header_size);
    }

    section_table_offset = static_cast<uint32_t>(w.size());
    size_t data_offset = section_table_offset + section_header * sections.size();
    data_offsets.clear();
    for (const Section& s : sections) {
        name_field(w, s.name, strings);
        uint32_t size = s.data.empty() ? s.size : static_cast<uint32_t>(s.data.size());
        w.u32(s.has_paddr ? s.paddr : s.vaddr);
        w.u32(s.vaddr);
        w.u32(size);
        w.u32(s.data.empty() ? 0 : static_cast<uint32_t>(data_offset));
        data_offsets.push_back(s.data.empty() ? 0 : static_cast<uint32_t>(data_offset));
        data_offset += s.data.size();
        w.u32(0);
        w.u32(0);
        if (v2) {
            w.u32(0);
            w.u32(0);
            w.u32(s.flags);
            w.u8(0);
            w.u8(0);
            w.u16(s.page);
        } else {
            w.u16(0);
            w.u16(0);
            w.u16(static_cast<uint16_t>(s.flags));
            w.u8(0);
            w.u8(static_cast<uint8_t>(s.page));
        }
    }
    for (const Section& s : sections)
        w.raw(s.data);

    symbol_table_offset = static_cast<uint32_t>(w.size());
    uint32_t entries = 0;
    for (const Symbol& sym : symbols) {
        name_field(w, sym.name, strings);
        w.u32(sym.value);
        w.u16(static_cast<uint16_t>(sym.section));
        w.u16(0);
        w.u8(sym.storage_class);
        w.u8(sym.aux_count);
        for (int i = 0; i < sym.aux_count; ++i)
            w.zeros(18);
        entries += 1 + sym.aux_count;
    }
    put32(w.bytes, 8, symbols.empty() ? 0 : symbol_table_offset, big_endian_headers);
    put32(w.bytes, 12, entries, big_endian_headers);

    string_table_offset = static_cast<uint32_t>(w.size());
    if (!strings.empty() || force_string_table) {
        w.u32(static_cast<uint32_t>(4 + strings.size()));
        for (char c : strings)
            w.u8(static_cast<uint8_t>(c));
    }
    return w.bytes;
}

Bytes cinit_record(uint32_t address, const Bytes& data, bool big_endian)
{
    if (data.size() % 2 != 0)
        throw std::invalid_argument("autoinitialisation data must be whole 16-bit words");
    Writer w{{}, big_endian};
    w.u16(static_cast<uint16_t>(data.size() / 2));
    w.u32(address);
    w.raw(data);
    return w.bytes;
}

Bytes pattern(size_t n, uint8_t first)
{
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = static_cast<uint8_t>(first + i);
    return b;
}

// A small program: code, initialised data, RAM-model autoinitialisation
// records for .bss, and the symbols a linker keeps.
Coff demo_program()
{
    Coff coff;
    coff.entry_point = 0x0010;

    Section text{".text", 0x0000, {}, 0, STYP_TEXT};
    for (int i = 0; i < 0x60; ++i)
        text.data.push_back(static_cast<uint8_t>(0x3C + i * 7));
    Section data{".data", 0x0100, pattern(0x40, 0xA0), 0, STYP_DATA};
    Bytes cinit = cinit_record(0x0200, {0x11, 0x22, 0x33, 0x44}, false);
    Bytes second = cinit_record(0x0210, {0x55, 0x66}, false);
    cinit.insert(cinit.end(), second.begin(), second.end());
    cinit.insert(cinit.end(), {0, 0});  // a zero count ends the records
    Section cinit_section{".cinit", 0x0180, cinit, 0, STYP_COPY};
    Section bss{".bss", 0x0200, {}, 0x20, STYP_BSS};
    coff.sections = {text, data, cinit_section, bss};

    coff.symbols = {
        {"_c_int00", 0x0010, 1, 2, 0},
        {"_main", 0x0040, 1, 2, 1},
        {"_table", 0x0100, 2, 2, 0},
        {"_counter", 0x0200, 4, 2, 0},
        {"_initialised_flag", 0x0210, 4, 2, 0},
        {"$local", 0x0020, 1, 3, 0},
    };
    return coff;
}

void write_file(const std::string& path, const Bytes& bytes)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        throw std::runtime_error("cannot create " + path);
    if (!bytes.empty())
        std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

}  // namespace coffgen
