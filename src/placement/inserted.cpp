// Inserted data (-insert) in the forward pass: each block of a file is
// placed as a section at its address would be, read from the file in pieces
// of the load buffer's size.
#include <algorithm>

#include "placement/placer.h"

namespace khex {

namespace {

// Fills buffer with up to n bytes of the block from byte `done` on, across
// its pieces; false when the file could not be read.
bool read_block(Placer& p, Insert& in, const InsertBlock& b, uint32_t done, uint8_t* buffer, uint32_t n)
{
    uint32_t at = 0;  // bytes of the block before the piece
    for (const InsertPiece& piece : b.pieces) {
        const uint64_t first = std::max<uint64_t>(at, done);
        const uint64_t last = std::min<uint64_t>(uint64_t{at} + piece.length, uint64_t{done} + n);
        if (first < last &&
            !read_hex_bytes(in.file, p.diagnostics, in.file.extents[piece.extent],
                            piece.skip + static_cast<uint32_t>(first - at), buffer + (first - done),
                            static_cast<uint32_t>(last - first)))
            return false;
        at += piece.length;
    }
    return true;
}

}  // namespace

void place_insert_step(Placer& p, int step)
{
    Insert* in = nullptr;
    InsertBlock& b = insert_block(p.inserts, -1 - step, in);
    SectionSpec* spec = b.spec;
    p.state.cursor.current_spec = spec;
    if (p.boot_table.boot_state != 0)
        end_boot_table(p);
    p.announce(*spec);
    if (!p.options.image && p.writing)
        flush_range_records(p.output);
    std::vector<uint8_t>& buffer = p.state.insert_buffer;
    buffer.resize(2 * LOADBUFSIZE);  // room to pad the last piece to a memory word
    for (uint32_t done = 0; done < b.length;) {
        const uint32_t n = std::min<uint32_t>(LOADBUFSIZE, b.length - done);
        if (!read_block(p, *in, b, done, buffer.data(), n))
            fatal(p.diagnostics, "errors prevent conversion");
        place_data(p, spec, buffer.data(), static_cast<int>(n), b.address + done);
        done += n;
    }
}

}  // namespace khex
