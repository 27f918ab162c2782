#include <cstring>

#include "coff/loader.h"
#include "driver/diagnostics.h"
#include "driver/options.h"

namespace khex {

namespace {

// The loader's one data buffer: section data streams through it piece by piece.
// The data path may pad a piece to whole memory words in place; the slack keeps
// that inside the buffer even when a piece is split between ranges of
// different memory widths.
uint8_t load_buffer[2 * LOADBUFSIZE];

}  // namespace

uint32_t extract_field(const uint8_t* bytes, int width)
{
    uint32_t value = 0;
    int n = width / 8;
    for (int i = 0; i < n; ++i) {
        int k = coff.target_big_endian ? i : n - 1 - i;
        value = value << 8 | bytes[k];
    }
    return value;
}

bool is_copy_cinit(const SectionHeader& s)
{
    return (s.s_flags & STYP_COPY) && std::strcmp(s.s_name, ".cinit") == 0;
}

// Hands on the records of one piece of a RAM-model .cinit section. A record
// header split by the end of the piece is carried into the next piece.
bool load_cinit(uint8_t* buffer, int& piece_length, int& carry)
{
    int p = 0;
    while (p < piece_length) {
        if (coff.cinit_words_left == 0) {
            if (p + 2 > piece_length) {
                carry = piece_length - p;
                piece_length = p;
                return true;
            }
            uint16_t words = static_cast<uint16_t>(extract_field(buffer + p, 16));
            if (words == 0)
                return true;
            if (p + 6 > piece_length) {
                carry = piece_length - p;
                piece_length = p;
                return true;
            }
            coff.cinit_words_left = words;
            coff.cinit_address = extract_field(buffer + p + 2, 32);
            p += 6;
        }
        int n = std::min(piece_length - p, 2 * static_cast<int>(coff.cinit_words_left));
        if (n > 0) {
            if (options.verbose > 0)
                trace("\n\tLoading <.cinit>,\taddr=0x%lx, size=0x%04lx", static_cast<unsigned long>(coff.cinit_address),
                      static_cast<unsigned long>(coff.cinit_words_left));
            coff.piece_sink(buffer + p, n, coff.cinit_address);
            coff.cinit_address += static_cast<uint32_t>(n);
            coff.cinit_words_left = static_cast<uint16_t>(coff.cinit_words_left - n / 2);
        }
        p += n;
    }
    return true;
}

bool load_section(const SectionHeader& s)
{
    std::memset(load_buffer, 0, sizeof load_buffer);
    if (s.s_size == 0)
        return true;
    const bool cinit = is_copy_cinit(s);
    uint32_t address = s.s_vaddr;
    uint32_t done = 0;
    int carry = 0;
    int piece_length = 0;
    for (;;) {
        std::memmove(load_buffer, load_buffer + piece_length, carry);
        piece_length = static_cast<int>(std::min<uint32_t>(s.s_size - done, LOADBUFSIZE));
        size_t wanted = static_cast<size_t>(piece_length - carry);
        if (wanted == 0 || !read_coff_bytes(uint64_t{s.s_scnptr} + done + carry, load_buffer + carry, wanted)) {
            coff.load_failure = LOAD_READ_ERROR;
            return false;
        }
        carry = 0;
        std::memset(load_buffer + piece_length, 0, sizeof load_buffer - static_cast<size_t>(piece_length));
        if (cinit)
            load_cinit(load_buffer, piece_length, carry);
        else
            coff.piece_sink(load_buffer, piece_length, address);
        address += static_cast<uint32_t>(piece_length);
        if (options.verbose > 0)
            trace(".");
        done += static_cast<uint32_t>(piece_length);
        if (done >= s.s_size)
            return true;
    }
}

bool load_sections()
{
    for (size_t i = 0; i < coff.sections.size(); ++i) {
        coff.current_section = static_cast<int>(i);
        const SectionHeader& s = coff.sections[i];
        if (s.s_scnptr == 0 || s.s_size == 0 || (s.s_flags & (STYP_DSECT | STYP_NOLOAD | STYP_COPY)))
            continue;
        if (!load_section(s))
            return false;
    }
    for (size_t i = 0; i < coff.sections.size(); ++i) {
        coff.current_section = static_cast<int>(i);
        const SectionHeader& s = coff.sections[i];
        if (!is_copy_cinit(s))
            continue;
        if (options.verbose > 0)
            trace("   Autoinitialization from <%s>", s.name.c_str());
        if (!load_section(s))
            return false;
        if (options.verbose > 0)
            trace("\n");
    }
    return true;
}

}  // namespace khex
