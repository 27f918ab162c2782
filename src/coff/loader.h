// The COFF loader: reads the headers, the symbols and the section data of the
// one COFF file and hands the data on piece by piece.
#pragma once
#include <cstdint>
#include <string>
#include <cstdio>
#include <vector>

#include "base/diagnostics.h"
#include "base/function_ref.h"
#include "base/settings.h"

namespace khex {

// Size of the loader's one data buffer; every piece handed on is at most this long.
constexpr int LOADBUFSIZE = 24576;

// Whether every piece of the buffer splits into whole units of `width` bytes,
// as the data path needs of memory and ROM words and boot alignment.
inline bool divides_load_buffer(int width)
{
    return width > 0 && LOADBUFSIZE % width == 0;
}

// Section flag bits the conversion looks at.
enum : uint32_t {
    STYP_DSECT = 0x0001,   // dummy section
    STYP_NOLOAD = 0x0002,
    STYP_COPY = 0x0010,
    STYP_TEXT = 0x0020,
    STYP_DATA = 0x0040,
    STYP_BSS = 0x0080,
};

// Every header version normalised to the 48-byte layout, in host byte order.
struct SectionHeader {
    char s_name[9];    // inline name (up to 8 characters, NUL-terminated)
    std::string name;  // name text: the inline name or the string-table name
    uint32_t s_paddr;
    uint32_t s_vaddr;
    uint32_t s_size;
    uint32_t s_scnptr;
    uint32_t s_relptr;
    uint32_t s_lnnoptr;
    uint32_t s_nreloc;
    uint32_t s_nlnno;
    uint32_t s_flags;
    uint16_t s_page;
    // Where the data goes unless SECTIONS says otherwise: s_vaddr in a COFF
    // file, the load address of the section's segment in an ELF file.
    uint32_t load_address;
};

enum LoadFailure {
    LOAD_NO_FAILURE,
    LOAD_READ_ERROR,
    LOAD_WRONG_MAGIC,
    LOAD_SYMBOL_READ_ERROR,
    LOAD_BAD_STRING_TABLE,
    LOAD_BAD_NAME_OFFSET,
    LOAD_BAD_SYMBOL_TABLE,
    LOAD_BAD_ELF,  // the ELF reader's own message is in CoffState::failure_text
};

// Receives each piece of section data with the index of its section in the
// section table; the data path's write_target_memory outside of tests.
using PieceSink = FunctionRef<void(int section, uint8_t* data, int nbytes, uint32_t address)>;
// Receives each step of the order that is not a section of the file (a
// negative step), in its place.
using StepSink = FunctionRef<void(int step)>;

// Where an ELF file keeps what the symbol pass reads, and how its section
// indexes map to the entries of the section table.
struct ElfLayout {
    uint64_t symtab_offset = 0;
    uint32_t symtab_size = 0;
    uint64_t strtab_offset = 0;
    uint32_t strtab_size = 0;
    std::vector<int16_t> entry_of;  // ELF section index -> 1-based entry of sections, 0 for none
};

// What the reader read from the COFF file. The section table stays in the
// file's order; the sections are loaded in the order the conversion gives.
struct CoffState {
    FILE* file = nullptr;                 // the COFF file, opened and closed by its caller
    std::vector<SectionHeader> sections;
    std::vector<char> string_table;       // names part, starting at offset 4
    size_t string_table_used = 0;         // bytes up to and including the last NUL
    bool headers_swapped = false;
    bool target_big_endian = false;
    uint16_t version = 0;                 // 0x00C0, 0x00C1 or 0x00C2
    uint16_t file_flags = 0;
    uint32_t symbol_offset = 0;
    int32_t symbol_count = 0;
    uint32_t coff_entry_point = 0;
    int load_failure = LOAD_NO_FAILURE;
    int64_t file_size = 0;
    // autoinitialisation records may span pieces
    uint16_t cinit_words_left = 0;
    uint32_t cinit_address = 0;
    // The one data buffer: section data streams through it piece by piece.
    // The data path may pad a piece to whole memory words in place; the slack
    // keeps that inside the buffer even when a piece is split between ranges
    // of different memory widths.
    std::vector<uint8_t> load_buffer;
    // An ELF executable read into the same records (coff/elf.cpp).
    std::string file_name;                // for the ELF reader's messages
    std::string failure_text;             // the message of LOAD_BAD_ELF
    bool elf = false;
    ElfLayout elf_layout;
};

// What the reader works with: the file's state, where it reports, and the
// trace levels of the options.
struct CoffReader {
    CoffState& coff;
    Diagnostics& diagnostics;
    const ConvOptions& options;
};

// The file header, optional header, string table and section table; false
// with load_failure set when the file is unreadable or malformed. An ELF
// file (told by its magic) is read by read_elf_headers instead.
bool read_coff_headers(CoffReader& reader);
// The ELF header, program headers and section headers into the same
// records: allocated sections only, at the load addresses of their segments.
bool read_elf_headers(CoffReader& reader);
// True when the first four bytes are the ELF magic.
bool is_elf_magic(const uint8_t* bytes, size_t n);
// Where the listings say a section is loaded: s_paddr as a COFF file gives
// it, an ELF section's load address.
inline uint32_t listed_load_address(const CoffState& coff, const SectionHeader& s)
{
    return coff.elf ? s.load_address : s.s_paddr;
}
bool read_string_table(CoffReader& reader);
// The verbose trace's summary of the headers.
void trace_header_summary(const CoffReader& reader);
// The FATAL message of the load failure, if there is one.
void report_load_failure(CoffReader& reader);

// Reads exactly n bytes at offset of the COFF file.
bool read_coff_bytes(CoffReader& reader, uint64_t offset, void* buffer, size_t n);

// Header fields in the header byte order.
uint16_t header16(const CoffState& coff, const uint8_t* p);
uint32_t header32(const CoffState& coff, const uint8_t* p);

// The name of a name field (section header or symbol entry): inline or from the
// string table. False when the string-table offset lies outside the table.
bool resolve_name(const CoffState& coff, const uint8_t* field, std::string& name);

// Every loadable section's data, the sections in the given order (indices
// into the section table), handed to sink piece by piece, and the order's
// other steps to other in their places; the records of a RAM-model .cinit
// follow in a second pass, and the other steps after the order's last
// section follow those.
bool load_sections(CoffReader& reader, const std::vector<int>& order, PieceSink sink, StepSink other);
bool load_section(CoffReader& reader, int section, PieceSink sink);
bool load_cinit(CoffReader& reader, int section, PieceSink sink, uint8_t* buffer, int& piece_length, int& carry);
// A 16- or 32-bit field of the target's data, in the target's byte order.
uint32_t extract_field(const CoffState& coff, const uint8_t* bytes, int width);

// True for the RAM-model autoinitialisation section: a copy section whose
// inline name is ".cinit".
bool is_copy_cinit(const SectionHeader& s);

}  // namespace khex
