// The ELF reader: a 32-bit ELF executable read into the records the COFF
// reader fills, so that everything after the headers (selection, placement,
// boot tables, values, reports) works on it unchanged. Only allocated
// sections become entries of the section table; an ELF section's load
// address comes from the PT_LOAD segment that holds it, its run address is
// sh_addr. With -addrunit 16 the file's addresses count 16-bit words and are
// doubled here; sizes and file offsets always count bytes.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "coff/loader.h"
#include "coff/sym.h"

namespace khex {

namespace {

constexpr unsigned ELF_HEADER_SIZE = 52;
constexpr unsigned SECTION_ENTRY_SIZE = 40;
constexpr unsigned SEGMENT_ENTRY_SIZE = 32;
constexpr unsigned SYMBOL_ENTRY_SIZE = 16;

constexpr uint8_t ELFCLASS32 = 1;
constexpr uint8_t ELFCLASS64 = 2;
constexpr uint8_t ELFDATA2LSB = 1;
constexpr uint8_t ELFDATA2MSB = 2;
constexpr uint16_t ET_REL = 1;
constexpr uint16_t ET_EXEC = 2;
constexpr uint32_t PT_LOAD = 1;
constexpr uint32_t SHT_SYMTAB = 2;
constexpr uint32_t SHT_STRTAB = 3;
constexpr uint32_t SHT_NOBITS = 8;
constexpr uint32_t SHF_ALLOC = 0x2;
constexpr uint32_t SHF_EXECINSTR = 0x4;
constexpr uint16_t SHN_LORESERVE = 0xFF00;
constexpr uint16_t SHN_COMMON = 0xFFF2;
constexpr uint16_t SHN_XINDEX = 0xFFFF;
constexpr uint8_t STT_SECTION = 3;
constexpr uint8_t STT_FILE = 4;

[[gnu::format(printf, 2, 3)]] bool refuse(CoffReader& reader, const char* format, ...)
{
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    reader.coff.failure_text = "ELF file '" + reader.coff.file_name + "': " + text;
    reader.coff.load_failure = LOAD_BAD_ELF;
    return false;
}

// Whether [offset, offset + size) lies inside the file.
bool inside_file(const CoffState& coff, uint64_t offset, uint64_t size)
{
    return offset <= static_cast<uint64_t>(coff.file_size) && size <= static_cast<uint64_t>(coff.file_size) - offset;
}

struct Segment {
    uint64_t offset, filesz, vaddr, paddr, memsz;  // addresses in bytes
};

struct ElfHeader {
    uint16_t type;
    uint64_t entry;
    uint32_t phoff, shoff;
    uint16_t ehsize, phentsize, phnum, shentsize, shnum, shstrndx;
};

// An address of the file in bytes: doubled when the file counts words.
uint64_t bytes_of(const CoffReader& reader, uint32_t address)
{
    return uint64_t{address} * static_cast<uint64_t>(reader.options.addrunit / 8);
}

bool read_elf_header(CoffReader& reader, ElfHeader& h)
{
    CoffState& coff = reader.coff;
    uint8_t b[ELF_HEADER_SIZE];
    if (!inside_file(coff, 0, ELF_HEADER_SIZE) || !read_coff_bytes(reader, 0, b, ELF_HEADER_SIZE))
        return refuse(reader, "too short for an ELF header");
    if (b[4] == ELFCLASS64)
        return refuse(reader, "is a 64-bit ELF file; khex reads 32-bit executables");
    if (b[4] != ELFCLASS32)
        return refuse(reader, "has the unknown ELF class %u", b[4]);
    if (b[5] != ELFDATA2LSB && b[5] != ELFDATA2MSB)
        return refuse(reader, "has the unknown byte order %u", b[5]);
    if (b[6] != 1)
        return refuse(reader, "has the unknown ELF version %u", b[6]);
    // the header's byte order is the target's
    coff.headers_swapped = b[5] == ELFDATA2MSB;
    coff.target_big_endian = coff.headers_swapped;
    h.type = header16(coff, b + 16);
    h.entry = header32(coff, b + 24);
    h.phoff = header32(coff, b + 28);
    h.shoff = header32(coff, b + 32);
    h.ehsize = header16(coff, b + 40);
    h.phentsize = header16(coff, b + 42);
    h.phnum = header16(coff, b + 44);
    h.shentsize = header16(coff, b + 46);
    h.shnum = header16(coff, b + 48);
    h.shstrndx = header16(coff, b + 50);
    if (h.type == ET_REL)
        return refuse(reader, "is a relocatable object, not an executable: link it first");
    if (h.type != ET_EXEC)
        return refuse(reader, "is not an executable (ELF type %u)", h.type);
    if (h.ehsize < ELF_HEADER_SIZE)
        return refuse(reader, "gives its header a size of %u bytes", h.ehsize);
    if (h.phnum != 0 && h.phentsize != SEGMENT_ENTRY_SIZE)
        return refuse(reader, "has program headers of %u bytes, not %u", h.phentsize, SEGMENT_ENTRY_SIZE);
    if (h.shnum != 0 && h.shentsize != SECTION_ENTRY_SIZE)
        return refuse(reader, "has section headers of %u bytes, not %u", h.shentsize, SECTION_ENTRY_SIZE);
    if (h.shnum == 0 && h.shoff != 0)
        return refuse(reader, "numbers its sections in the extended way, which khex does not read");
    return true;
}

// A table of count headers of entry bytes at offset, read whole; what names
// it in messages ("program headers", "section headers").
bool read_header_table(CoffReader& reader, uint32_t offset, uint16_t count, unsigned entry, const char* what,
                       std::vector<uint8_t>& table)
{
    const uint64_t size = uint64_t{count} * entry;
    if (!inside_file(reader.coff, offset, size))
        return refuse(reader, "has its %s (%u) outside the file", what, count);
    table.resize(size);
    if (size && !read_coff_bytes(reader, offset, table.data(), size))
        return refuse(reader, "cannot read its %s", what);
    return true;
}

// The PT_LOAD segments, checked: inside the file, and no two loaded at one
// address.
bool read_segments(CoffReader& reader, const ElfHeader& h, std::vector<Segment>& segments)
{
    CoffState& coff = reader.coff;
    std::vector<uint8_t> table;
    if (!read_header_table(reader, h.phoff, h.phnum, SEGMENT_ENTRY_SIZE, "program headers", table))
        return false;
    for (size_t i = 0; i < h.phnum; ++i) {
        const uint8_t* p = table.data() + i * SEGMENT_ENTRY_SIZE;
        if (header32(coff, p) != PT_LOAD)
            continue;
        Segment s{header32(coff, p + 4), header32(coff, p + 16), bytes_of(reader, header32(coff, p + 8)),
                  bytes_of(reader, header32(coff, p + 12)), header32(coff, p + 20)};
        if (!inside_file(coff, s.offset, s.filesz))
            return refuse(reader, "has load segment %u outside the file", static_cast<unsigned>(i));
        if (s.filesz > s.memsz)
            return refuse(reader, "has load segment %u with more bytes in the file than in memory", static_cast<unsigned>(i));
        if (s.paddr + s.memsz > 0x100000000ull || s.vaddr + s.memsz > 0x100000000ull)
            return refuse(reader, "has load segment %u beyond the 32-bit address space", static_cast<unsigned>(i));
        for (size_t k = 0; k < segments.size(); ++k) {
            const Segment& o = segments[k];
            if (s.memsz && o.memsz && s.paddr < o.paddr + o.memsz && o.paddr < s.paddr + s.memsz)
                return refuse(reader, "has load segments that overlap at 0x%08llx",
                              static_cast<unsigned long long>(std::max(s.paddr, o.paddr)));
        }
        segments.push_back(s);
    }
    return true;
}

// A name of a string table held in memory: false when it starts outside the
// table or runs past its end.
bool table_name(const std::vector<char>& table, uint32_t offset, std::string& name)
{
    if (offset >= table.size())
        return false;
    const void* end = std::memchr(table.data() + offset, '\0', table.size() - offset);
    if (!end)
        return false;
    name.assign(table.data() + offset, static_cast<const char*>(end));
    return true;
}

// A table of the file read whole; never larger than the file.
bool read_table(CoffReader& reader, uint64_t offset, uint32_t size, std::vector<char>& table)
{
    if (!inside_file(reader.coff, offset, size))
        return false;
    table.resize(size);
    return size == 0 || read_coff_bytes(reader, offset, table.data(), size);
}

// Where a section's bytes are loaded: the segment that holds its file bytes
// (or, for a section without file bytes, its addresses) gives its address
// plus the section's place in the segment. False when no segment holds it.
bool load_address_of(const std::vector<Segment>& segments, bool nobits, uint64_t offset, uint64_t vaddr,
                     uint64_t size, uint64_t& load)
{
    for (const Segment& s : segments) {
        if (vaddr < s.vaddr || vaddr + size > s.vaddr + s.memsz)
            continue;
        if (nobits) {
            load = s.paddr + (vaddr - s.vaddr);
            return true;
        }
        if (offset >= s.offset && offset + size <= s.offset + s.filesz) {
            load = s.paddr + (offset - s.offset);
            return true;
        }
    }
    return false;
}

struct RawSection {
    uint32_t name, type, flags, addr, offset, size, link, entsize;
};

RawSection decode_section(const CoffState& coff, const uint8_t* p)
{
    return {header32(coff, p),      header32(coff, p + 4),  header32(coff, p + 8),  header32(coff, p + 12),
            header32(coff, p + 16), header32(coff, p + 20), header32(coff, p + 24), header32(coff, p + 36)};
}

// One allocated section as an entry of the section table.
bool add_section(CoffReader& reader, const RawSection& raw, const std::string& name,
                 const std::vector<Segment>& segments)
{
    CoffState& coff = reader.coff;
    const bool nobits = raw.type == SHT_NOBITS;
    const char* text = name.c_str();
    if (!nobits && raw.size != 0) {
        if (!inside_file(coff, raw.offset, raw.size))
            return refuse(reader, "has section %s outside the file", text);
        if (raw.offset == 0)
            return refuse(reader, "has section %s over its ELF header", text);
    }
    const uint64_t vaddr = bytes_of(reader, raw.addr);
    if (vaddr + raw.size > 0x100000000ull)
        return refuse(reader, "has section %s beyond the 32-bit address space", text);
    uint64_t load = vaddr;
    if (!load_address_of(segments, nobits, raw.offset, vaddr, raw.size, load) && !nobits && raw.size != 0)
        report(reader.diagnostics, SEVERITY_WARNING, "section %s of %s is in no load segment: placed at 0x%08lx",
               text, coff.file_name.c_str(), static_cast<unsigned long>(vaddr));
    SectionHeader s{};
    if (name.size() <= 8)
        std::memcpy(s.s_name, name.c_str(), name.size() + 1);
    s.name = name;
    s.s_paddr = static_cast<uint32_t>(vaddr);
    s.s_vaddr = static_cast<uint32_t>(vaddr);
    s.s_size = raw.size;
    s.s_scnptr = nobits ? 0 : raw.offset;
    s.s_flags = nobits ? STYP_BSS : (raw.flags & SHF_EXECINSTR) ? STYP_TEXT : STYP_DATA;
    s.load_address = static_cast<uint32_t>(load);
    coff.sections.push_back(s);
    return true;
}

// Where the symbol pass finds the symbols and their names.
bool note_symbol_table(CoffReader& reader, const std::vector<uint8_t>& table, const RawSection& symtab,
                       uint16_t shnum)
{
    CoffState& coff = reader.coff;
    if (symtab.entsize != SYMBOL_ENTRY_SIZE)
        return refuse(reader, "has symbols of %u bytes, not %u", symtab.entsize, SYMBOL_ENTRY_SIZE);
    if (!inside_file(coff, symtab.offset, symtab.size))
        return refuse(reader, "has its symbol table outside the file");
    if (symtab.link == 0 || symtab.link >= shnum)
        return refuse(reader, "gives its symbol table the string table %u, not in the section table", symtab.link);
    const RawSection strtab = decode_section(coff, table.data() + symtab.link * SECTION_ENTRY_SIZE);
    if (strtab.type != SHT_STRTAB || !inside_file(coff, strtab.offset, strtab.size))
        return refuse(reader, "has its symbol names outside the file or in no string table");
    ElfLayout& layout = coff.elf_layout;
    layout.symtab_offset = symtab.offset;
    layout.symtab_size = symtab.size;
    layout.strtab_offset = strtab.offset;
    layout.strtab_size = strtab.size;
    coff.symbol_offset = symtab.offset;
    coff.symbol_count = static_cast<int32_t>(symtab.size / SYMBOL_ENTRY_SIZE);
    return true;
}

bool read_elf_sections(CoffReader& reader, const ElfHeader& h, const std::vector<Segment>& segments)
{
    CoffState& coff = reader.coff;
    std::vector<uint8_t> table;
    if (!read_header_table(reader, h.shoff, h.shnum, SECTION_ENTRY_SIZE, "section headers", table))
        return false;
    coff.elf_layout.entry_of.assign(h.shnum, 0);
    if (h.shnum == 0)
        return true;
    if (h.shstrndx == 0 || h.shstrndx >= h.shnum)
        return refuse(reader, "names its section names in section %u, not in the section table", h.shstrndx);
    const RawSection names_section = decode_section(coff, table.data() + h.shstrndx * SECTION_ENTRY_SIZE);
    std::vector<char> names;
    if (!read_table(reader, names_section.offset, names_section.size, names))
        return refuse(reader, "has its section names outside the file");
    bool symbols_seen = false;
    for (uint16_t i = 1; i < h.shnum; ++i) {
        const RawSection raw = decode_section(coff, table.data() + i * SECTION_ENTRY_SIZE);
        std::string name;
        if (!table_name(names, raw.name, name))
            return refuse(reader, "names section %u outside its section name table", i);
        if (raw.type == SHT_SYMTAB && !symbols_seen) {
            symbols_seen = true;
            if (!note_symbol_table(reader, table, raw, h.shnum))
                return false;
        }
        if (!(raw.flags & SHF_ALLOC) || raw.type == 0)
            continue;
        if (!add_section(reader, raw, name, segments))
            return false;
        coff.elf_layout.entry_of[i] = static_cast<int16_t>(coff.sections.size());
    }
    return true;
}

}  // namespace

bool is_elf_magic(const uint8_t* bytes, size_t n)
{
    return n >= 4 && bytes[0] == 0x7F && bytes[1] == 'E' && bytes[2] == 'L' && bytes[3] == 'F';
}

bool read_elf_headers(CoffReader& reader)
{
    CoffState& coff = reader.coff;
    coff.elf = true;
    coff.sections.clear();
    coff.elf_layout = ElfLayout{};
    coff.symbol_count = 0;
    coff.file_flags = 0;
    coff.version = 0;
    ElfHeader h{};
    std::vector<Segment> segments;
    if (!read_elf_header(reader, h) || !read_segments(reader, h, segments) ||
        !read_elf_sections(reader, h, segments))
        return false;
    if (coff.sections.size() > 0x7FFF)
        return refuse(reader, "has %lu allocated sections; khex reads at most 32767",
                      static_cast<unsigned long>(coff.sections.size()));
    const uint64_t entry = bytes_of(reader, static_cast<uint32_t>(h.entry));
    if (entry > 0xFFFFFFFFull)
        return refuse(reader, "has its entry point beyond the 32-bit address space");
    coff.coff_entry_point = static_cast<uint32_t>(entry);
    return true;
}

bool read_elf_symbols(CoffReader& reader, SymbolTable& symbols)
{
    CoffState& coff = reader.coff;
    const ElfLayout& layout = coff.elf_layout;
    std::vector<char> names;
    std::vector<char> entries;
    if (!read_table(reader, layout.strtab_offset, layout.strtab_size, names) ||
        !read_table(reader, layout.symtab_offset, layout.symtab_size, entries)) {
        coff.load_failure = LOAD_SYMBOL_READ_ERROR;
        return false;
    }
    const auto* bytes = reinterpret_cast<const uint8_t*>(entries.data());
    // entry 0 is the null symbol
    for (int32_t i = 1; i < coff.symbol_count; ++i) {
        const uint8_t* e = bytes + static_cast<size_t>(i) * SYMBOL_ENTRY_SIZE;
        const uint8_t type = e[12] & 0xF;
        const uint16_t shndx = header16(coff, e + 14);
        std::string name;
        if (!table_name(names, header32(coff, e), name))
            return refuse(reader, "names symbol %d outside its string table", static_cast<int>(i));
        if (shndx == SHN_XINDEX)
            return refuse(reader, "gives symbol %s an extended section index, which khex does not read", name.c_str());
        if (name.empty() || type == STT_SECTION || type == STT_FILE || shndx == 0 || shndx == SHN_COMMON)
            continue;
        if (shndx < SHN_LORESERVE && shndx >= layout.entry_of.size())
            return refuse(reader, "puts symbol %s in section %u, not in the section table", name.c_str(), shndx);
        const uint64_t value = bytes_of(reader, header32(coff, e + 4));
        if (value > 0xFFFFFFFFull)
            continue;  // no byte address of the target
        int16_t section = -1;  // SHN_ABS and the other reserved indexes: absolute
        if (shndx < SHN_LORESERVE) {
            section = layout.entry_of[shndx];
            if (section == 0)
                continue;  // a symbol of a section that is not loaded
            // a symbol outside its section's bytes (a linker's _end) is a plain value
            const SectionHeader& s = coff.sections[static_cast<size_t>(section - 1)];
            if (value < s.s_vaddr || value > uint64_t{s.s_vaddr} + s.s_size)
                section = -1;
        }
        enter_symbol(reader, symbols, name, static_cast<uint32_t>(value), section,
                     (e[12] >> 4) == 0 ? "STB_LOCAL" : "STB_GLOBAL");
    }
    return true;
}

}  // namespace khex
