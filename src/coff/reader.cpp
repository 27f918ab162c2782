#include <cstdio>
#include <cstring>

#include "coff/loader.h"

namespace khex {

namespace {

constexpr size_t FILE_HEADER_READ = 22;
constexpr uint16_t OPTIONAL_HEADER_SIZE = 28;

bool is_version_id(uint16_t id)
{
    return id == 0x00C0 || id == 0x00C1 || id == 0x00C2 || id == 0x009C;
}

uint16_t swap16(uint16_t v)
{
    return static_cast<uint16_t>(v << 8 | v >> 8);
}

bool fail(CoffReader& reader, int code)
{
    reader.coff.load_failure = code;
    return false;
}

int64_t measure_file(CoffReader& reader)
{
    FILE* f = reader.coff.file;
    if (std::fseek(f, 0, SEEK_END) != 0)
        return INT64_MAX;
    long size = std::ftell(f);
    return size < 0 ? INT64_MAX : size;
}

}  // namespace

bool read_coff_bytes(CoffReader& reader, uint64_t offset, void* buffer, size_t n)
{
    FILE* f = reader.coff.file;
    if (offset > static_cast<uint64_t>(INT64_MAX) || std::fseek(f, static_cast<long>(offset), SEEK_SET) != 0)
        return false;
    return std::fread(buffer, 1, n, f) == n;
}

uint16_t header16(const CoffState& coff, const uint8_t* p)
{
    uint16_t v = static_cast<uint16_t>(p[0] | p[1] << 8);
    return coff.headers_swapped ? swap16(v) : v;
}

uint32_t header32(const CoffState& coff, const uint8_t* p)
{
    uint32_t v = p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
    if (coff.headers_swapped)
        v = (v >> 24) | ((v >> 8) & 0xFF00) | ((v << 8) & 0xFF0000) | (v << 24);
    return v;
}

bool resolve_name(const CoffState& coff, const uint8_t* field, std::string& name)
{
    if (field[0] | field[1] | field[2] | field[3]) {
        size_t length = 0;
        while (length < 8 && field[length])
            ++length;
        name.assign(reinterpret_cast<const char*>(field), length);
        return true;
    }
    uint32_t offset = header32(coff, field + 4);
    if (offset < 4 || offset - 4 >= coff.string_table_used)
        return false;
    name = coff.string_table.data() + (offset - 4);  // the table ends with a NUL
    return true;
}

bool read_string_table(CoffReader& reader)
{
    CoffState& coff = reader.coff;
    coff.string_table.clear();
    coff.string_table_used = 0;
    if (coff.symbol_count == 0)
        return true;
    if (coff.symbol_count < 0)
        return fail(reader, LOAD_BAD_SYMBOL_TABLE);

    uint64_t position = coff.symbol_offset + 18ull * static_cast<uint64_t>(coff.symbol_count);
    uint8_t length_field[4];
    if (!read_coff_bytes(reader, position, length_field, 4))
        return true;  // no string table
    uint32_t length = header32(coff, length_field);
    if (length < 4)
        return fail(reader, LOAD_BAD_STRING_TABLE);
    uint32_t names = length - 4;
    if (reader.options.verbose > 0)
        trace(reader.diagnostics, "   %ld symbols.  String table size=%ld\n", static_cast<long>(coff.symbol_count),
              static_cast<long>(names));
    if (names == 0)
        return true;
    // Never allocate more than the file can hold.
    if (static_cast<int64_t>(position + 4 + names) > coff.file_size)
        return fail(reader, LOAD_READ_ERROR);
    coff.string_table.resize(names);
    if (!read_coff_bytes(reader, position + 4, coff.string_table.data(), names))
        return fail(reader, LOAD_READ_ERROR);
    // Bytes after the last NUL belong to no name.
    size_t used = names;
    while (used > 0 && coff.string_table[used - 1] != '\0')
        --used;
    coff.string_table_used = used;
    return true;
}

namespace {

// What the file header says about the rest of the headers.
struct FileHeader {
    uint16_t section_count;
    uint16_t optional_size;
    uint64_t length;  // 20 bytes in version 0, 22 otherwise
};

// The file header: byte order from the version ID, the version and its target
// ID check, the symbol table's place and the target's byte order.
bool read_file_header(CoffReader& reader, FileHeader& file)
{
    CoffState& coff = reader.coff;
    coff.headers_swapped = false;
    uint8_t header[FILE_HEADER_READ];
    if (!read_coff_bytes(reader, 0, header, sizeof header))
        return fail(reader, LOAD_READ_ERROR);
    uint16_t id = static_cast<uint16_t>(header[0] | header[1] << 8);
    if (!is_version_id(id)) {
        id = swap16(id);
        if (!is_version_id(id))
            return fail(reader, LOAD_WRONG_MAGIC);
        coff.headers_swapped = true;
    }
    file.section_count = header16(coff, header + 2);
    coff.symbol_offset = header32(coff, header + 8);
    coff.symbol_count = static_cast<int32_t>(header32(coff, header + 12));
    file.optional_size = header16(coff, header + 16);
    coff.file_flags = header16(coff, header + 18);
    uint16_t target_id = header16(coff, header + 20);
    coff.target_big_endian = coff.file_flags & 0x0200;

    if (id == 0x00C1 || id == 0x00C2) {
        if (target_id != 0x009C)
            return fail(reader, LOAD_WRONG_MAGIC);
        coff.version = id;
    } else {
        coff.version = 0x00C0;
    }
    file.length = coff.version == 0x00C0 ? 20 : 22;
    return true;
}

// The entry point, from an optional header of exactly 28 bytes.
bool read_optional_header(CoffReader& reader, const FileHeader& file)
{
    if (file.optional_size != OPTIONAL_HEADER_SIZE)
        return true;
    uint8_t optional[OPTIONAL_HEADER_SIZE];
    if (!read_coff_bytes(reader, file.length, optional, sizeof optional))
        return fail(reader, LOAD_READ_ERROR);
    reader.coff.coff_entry_point = header32(reader.coff, optional + 16);
    return true;
}

size_t section_entry_size(const CoffState& coff)
{
    return coff.version == 0x00C2 ? 48 : 40;
}

// The section headers as stored, in one read after the optional header.
bool read_section_table(CoffReader& reader, const FileHeader& file, std::vector<uint8_t>& table)
{
    const uint64_t table_offset = file.length + file.optional_size;
    const uint64_t table_size = section_entry_size(reader.coff) * file.section_count;
    if (static_cast<int64_t>(table_offset + table_size) > reader.coff.file_size)
        return fail(reader, LOAD_READ_ERROR);
    table.resize(table_size);
    if (table_size && !read_coff_bytes(reader, table_offset, table.data(), table_size))
        return fail(reader, LOAD_READ_ERROR);
    return true;
}

// Each stored entry into the 48-byte layout, in host byte order.
void decode_section_headers(CoffState& coff, const std::vector<uint8_t>& table)
{
    const size_t entry_size = section_entry_size(coff);
    const size_t count = table.size() / entry_size;
    coff.sections.assign(count, SectionHeader{});
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* h = table.data() + i * entry_size;
        SectionHeader& s = coff.sections[i];
        std::memcpy(s.s_name, h, 8);
        s.s_name[8] = '\0';
        s.s_paddr = header32(coff, h + 8);
        s.s_vaddr = header32(coff, h + 12);
        s.s_size = header32(coff, h + 16);
        s.s_scnptr = header32(coff, h + 20);
        s.s_relptr = header32(coff, h + 24);
        s.s_lnnoptr = header32(coff, h + 28);
        if (entry_size == 48) {
            s.s_nreloc = header32(coff, h + 32);
            s.s_nlnno = header32(coff, h + 36);
            s.s_flags = header32(coff, h + 40);
            s.s_page = header16(coff, h + 46);
        } else {
            s.s_nreloc = header16(coff, h + 32);
            s.s_nlnno = header16(coff, h + 34);
            s.s_flags = header16(coff, h + 36);
            s.s_page = h[39];
        }
        s.load_address = s.s_vaddr;
    }
}

// Inline names, or long names from the string table. A long name in a file
// without a string table ends the program at once with its own message.
bool resolve_section_names(CoffReader& reader, const std::vector<uint8_t>& table)
{
    CoffState& coff = reader.coff;
    const size_t entry_size = section_entry_size(coff);
    for (size_t i = 0; i < coff.sections.size(); ++i) {
        const uint8_t* h = table.data() + i * entry_size;
        bool long_name = (h[0] | h[1] | h[2] | h[3]) == 0;
        if (long_name && coff.string_table.empty()) {
            std::fflush(reader.diagnostics.console.out);
            std::fputs("error reading COFF file - corrupted section header", reader.diagnostics.console.err);
            std::fflush(reader.diagnostics.console.err);
            end_run(DIRECT_STOP_STATUS);
        }
        if (!resolve_name(coff, h, coff.sections[i].name))
            return fail(reader, LOAD_BAD_NAME_OFFSET);
    }
    return true;
}

}  // namespace

void trace_header_summary(const CoffReader& reader)
{
    const CoffState& coff = reader.coff;
    if (reader.options.verbose > 0)
        trace(reader.diagnostics, "   %d sections, %s format, %s data\n   %s\n", static_cast<int>(coff.sections.size()),
              coff.headers_swapped ? "swapped" : "unswapped", coff.target_big_endian ? "big-E" : "little-E",
              "No relocation");
}

bool read_coff_headers(CoffReader& reader)
{
    reader.coff.load_failure = LOAD_NO_FAILURE;
    reader.coff.file_size = measure_file(reader);
    uint8_t magic[4];
    if (reader.coff.file_size >= 4 && read_coff_bytes(reader, 0, magic, 4) && is_elf_magic(magic, 4))
        return read_elf_headers(reader);
    reader.coff.elf = false;
    if (reader.options.addrunit != 8)
        report(reader.diagnostics, SEVERITY_WARNING, "-addrunit counts an ELF file's addresses: ignored for COFF file %s",
               reader.coff.file_name.c_str());
    FileHeader file;
    std::vector<uint8_t> table;
    if (!read_file_header(reader, file) || !read_optional_header(reader, file) || !read_string_table(reader) ||
        !read_section_table(reader, file, table))
        return false;
    decode_section_headers(reader.coff, table);
    return resolve_section_names(reader, table);
}

void report_load_failure(CoffReader& reader)
{
    switch (reader.coff.load_failure) {
    case LOAD_READ_ERROR: fatal(reader.diagnostics, "error reading COFF file");
    case LOAD_WRONG_MAGIC: fatal(reader.diagnostics, "COFF file has wrong magic number");
    case LOAD_SYMBOL_READ_ERROR: fatal(reader.diagnostics, "symbol read error");
    case LOAD_BAD_STRING_TABLE: fatal(reader.diagnostics, "COFF file has a string table length below 4");
    case LOAD_BAD_NAME_OFFSET: fatal(reader.diagnostics, "COFF file names a string outside its string table");
    case LOAD_BAD_SYMBOL_TABLE: fatal(reader.diagnostics, "COFF file has a corrupted symbol table");
    case LOAD_BAD_ELF: fatal(reader.diagnostics, "%s", reader.coff.failure_text.c_str());
    default: break;
    }
}

}  // namespace khex
