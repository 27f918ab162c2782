#include <cstring>

#include "coff/loader.h"

namespace khex {

namespace {

bool loadable(const SectionHeader& s)
{
    return !(s.s_scnptr == 0 || s.s_size == 0 || (s.s_flags & (STYP_DSECT | STYP_NOLOAD | STYP_COPY)));
}

}  // namespace

uint32_t extract_field(const CoffState& coff, const uint8_t* bytes, int width)
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
bool load_cinit(CoffReader& reader, int section, PieceSink sink, uint8_t* buffer, int& piece_length, int& carry)
{
    CoffState& coff = reader.coff;
    int p = 0;
    while (p < piece_length) {
        if (coff.cinit_words_left == 0) {
            if (p + 2 > piece_length) {
                carry = piece_length - p;
                piece_length = p;
                return true;
            }
            uint16_t words = static_cast<uint16_t>(extract_field(coff, buffer + p, 16));
            if (words == 0)
                return true;
            if (p + 6 > piece_length) {
                carry = piece_length - p;
                piece_length = p;
                return true;
            }
            coff.cinit_words_left = words;
            coff.cinit_address = extract_field(coff, buffer + p + 2, 32);
            p += 6;
        }
        int n = std::min(piece_length - p, 2 * static_cast<int>(coff.cinit_words_left));
        if (n > 0) {
            if (reader.options.verbose > 0)
                trace(reader.diagnostics, "\n\tLoading <.cinit>,\taddr=0x%lx, size=0x%04lx",
                      static_cast<unsigned long>(coff.cinit_address), static_cast<unsigned long>(coff.cinit_words_left));
            sink(section, buffer + p, n, coff.cinit_address);
            coff.cinit_address += static_cast<uint32_t>(n);
            coff.cinit_words_left = static_cast<uint16_t>(coff.cinit_words_left - n / 2);
        }
        p += n;
    }
    return true;
}

bool load_section(CoffReader& reader, int section, PieceSink sink)
{
    CoffState& coff = reader.coff;
    std::vector<uint8_t>& buffer = coff.load_buffer;
    buffer.assign(2 * LOADBUFSIZE, 0);
    const SectionHeader& s = coff.sections[section];
    if (s.s_size == 0)
        return true;
    const bool cinit = is_copy_cinit(s);
    uint32_t address = s.s_vaddr;
    uint32_t done = 0;
    int carry = 0;
    int piece_length = 0;
    for (;;) {
        std::memmove(buffer.data(), buffer.data() + piece_length, carry);
        piece_length = static_cast<int>(std::min<uint32_t>(s.s_size - done, LOADBUFSIZE));
        size_t wanted = static_cast<size_t>(piece_length - carry);
        if (wanted == 0 || !read_coff_bytes(reader, uint64_t{s.s_scnptr} + done + carry, buffer.data() + carry, wanted)) {
            coff.load_failure = LOAD_READ_ERROR;
            return false;
        }
        carry = 0;
        std::memset(buffer.data() + piece_length, 0, buffer.size() - static_cast<size_t>(piece_length));
        if (cinit)
            load_cinit(reader, section, sink, buffer.data(), piece_length, carry);
        else
            sink(section, buffer.data(), piece_length, address);
        address += static_cast<uint32_t>(piece_length);
        if (reader.options.verbose > 0)
            trace(reader.diagnostics, ".");
        done += static_cast<uint32_t>(piece_length);
        if (done >= s.s_size)
            return true;
    }
}

bool load_sections(CoffReader& reader, const std::vector<int>& order, PieceSink sink, StepSink other)
{
    const std::vector<SectionHeader>& sections = reader.coff.sections;
    // the other steps after the last section wait for the second pass
    size_t tail = order.size();
    while (tail > 0 && order[tail - 1] < 0)
        --tail;
    for (size_t k = 0; k < tail; ++k) {
        const int i = order[k];
        if (i < 0)
            other(i);
        else if (loadable(sections[i]) && !load_section(reader, i, sink))
            return false;
    }
    for (int i : order) {
        if (i < 0)
            continue;
        const SectionHeader& s = sections[i];
        if (!is_copy_cinit(s))
            continue;
        if (reader.options.verbose > 0)
            trace(reader.diagnostics, "   Autoinitialization from <%s>", s.name.c_str());
        if (!load_section(reader, i, sink))
            return false;
        if (reader.options.verbose > 0)
            trace(reader.diagnostics, "\n");
    }
    for (size_t k = tail; k < order.size(); ++k)
        other(order[k]);
    return true;
}

}  // namespace khex
