#include "boot/table.h"

#include <cstdio>
#include <cstring>


namespace khex {

namespace {

constexpr size_t BOOT_BUFFER_GROWTH = 2457;
constexpr uint8_t SECTION_PAD = 0x20;

// Room behind the buffer's capacity for the data path's memory-word padding.
size_t padding_room(const BootContext& boot)
{
    int widest = 1;
    for (const RomRange* r : boot.ranges.rom_list)
        widest = std::max(widest, r->memwidth);
    return static_cast<size_t>(widest);
}

void append(BootContext& boot, uint8_t byte)
{
    BootBuffer& b = boot.buffer;
    if (b.length == b.capacity) {
        b.capacity += BOOT_BUFFER_GROWTH;
        b.storage.resize(b.capacity + padding_room(boot));
    }
    b.storage[b.length++] = byte;
}

void print_status(const BootContext& boot)
{
    const BootBuffer& b = boot.buffer;
    trace(boot.diagnostics, "Boot Buffer Address    : 0x%X\n", static_cast<unsigned>(reinterpret_cast<uintptr_t>(b.storage.data())));
    trace(boot.diagnostics, "Length of Data         : %u\n", static_cast<unsigned>(b.length));
    trace(boot.diagnostics, "Length of Buffer       : %u\n", static_cast<unsigned>(b.capacity));
    trace(boot.diagnostics, "Overflow Buffer Address: 0x%X\n", static_cast<unsigned>(reinterpret_cast<uintptr_t>(b.overflow.data())));
    trace(boot.diagnostics, "Overflow Buffer Length : %u\n", static_cast<unsigned>(b.overflow_length));
}

// The extent of what the boot loader takes as one section: the COFF section,
// or, for a boot-loaded RAM-model .cinit, each record of it on its own.
struct BootPiece {
    uint32_t address;  // of the piece's first byte
    int nbytes;        // bytes of the piece, then the pads counted with them
    int pads;          // pad bytes added for this piece
    uint32_t first;    // address of the section's first byte
    uint32_t end;      // the section's end, for the last-piece tests
    uint32_t check_end;  // the section's end by its own address, for the consistency check
};

bool last_piece(const BootPiece& p)
{
    return p.address + static_cast<uint32_t>(p.nbytes) >= p.end;
}

bool section_pads(const BootContext& boot)
{
    return boot.settled.coff_device == 7734 && boot.options.revision >= 2;
}

// The buffer starts empty at every piece, with the bytes carried over from
// the previous piece in front.
void carry_in(BootContext& boot)
{
    BootBuffer& b = boot.buffer;
    if (b.capacity == 0) {
        b.capacity = LOADBUFSIZE;
        b.storage.resize(b.capacity + padding_room(boot));
    }
    b.length = 0;
    if (b.overflow_length != 0) {
        for (size_t i = 0; i < b.overflow_length; ++i)
            append(boot, b.overflow[i]);
        b.overflow.clear();
        b.overflow_length = 0;
    }
}

// A section that starts at an odd address gets one 0x20 in front (revision 2
// and 3 tables).
void pad_before_section(BootContext& boot, BootPiece& p)
{
    if (p.address != p.first || !section_pads(boot))
        return;
    while ((p.address + static_cast<uint32_t>(p.pads)) & 1) {
        ++p.pads;
        if (boot.options.verbose > 0)
            trace(boot.diagnostics, "Adding Pre-section padding\n");
        append(boot, SECTION_PAD);
    }
}

// After the section's last byte: 0x20 to an even count (revision 2 and 3),
// then zeros to the boot loader's alignment.
void pad_after_section(BootContext& boot, BootPiece& p)
{
    if (!last_piece(p))
        return;
    if (section_pads(boot)) {
        while ((p.nbytes + p.pads) & 1) {
            ++p.pads;
            if (boot.options.verbose > 0)
                trace(boot.diagnostics, "Adding Post-section padding\n");
            append(boot, SECTION_PAD);
        }
    }
    while ((p.nbytes + p.pads) % boot.settled.boot_alignment != 0) {
        ++p.pads;
        append(boot, 0x00);
    }
}

// The placed length becomes whole memory words of the range that will take
// the bytes, counting pads already in the buffer before adding zeros.
void pad_to_memory_words(BootContext& boot, BootPiece& p)
{
    const RomRange* r = boot.cursor.current_range;
    if (!r)
        return;
    const RomRange* following = next_range(boot.ranges, r);
    const SectionSpec& spec = *boot.cursor.current_spec;
    if ((spec.page > r->page || (spec.page == r->page && p.address > boot.cursor.next_address)) && following)
        r = following;
    while (p.nbytes % r->memwidth != 0) {
        if (p.address + static_cast<uint32_t>(p.nbytes) < p.check_end)
            internal_error(boot.diagnostics, "corrupt boot buffer - ABORT");
        if (p.pads > 0 && static_cast<size_t>(p.nbytes) < boot.buffer.length) {
            ++p.nbytes;
            --p.pads;
        } else {
            append(boot, 0x00);
            ++p.nbytes;
        }
    }
}

// A piece before the last places its own length and carries the rest over;
// the last piece places everything the buffer holds.
int place_or_carry_out(BootContext& boot, const BootPiece& p)
{
    BootBuffer& b = boot.buffer;
    if (!last_piece(p)) {
        size_t keep = static_cast<size_t>(p.nbytes);
        b.overflow.assign(b.storage.begin() + static_cast<long>(keep), b.storage.begin() + static_cast<long>(b.length));
        b.overflow_length = b.length - keep;
        b.length = keep;
        if (boot.options.verbose > 0)
            print_status(boot);
        return place_table_bytes(boot, b.storage.data(), p.nbytes, true);
    }
    return place_table_bytes(boot, b.storage.data(), static_cast<int>(b.length), false);
}

}  // namespace

int boot_buffer_add(BootContext& boot, const SectionHeader& section, const uint8_t* data, uint32_t address, int nbytes)
{
    const bool record = boot.cursor.current_spec->flags & SPEC_CINIT;
    BootPiece p{address, nbytes, 0, record ? address : section.s_paddr, 0, 0};
    p.end = record ? address + static_cast<uint32_t>(nbytes) : section.s_paddr + section.s_size;
    p.check_end = record ? p.end : section.s_vaddr + section.s_size;

    if (boot.options.verbose > 0)
        trace(boot.diagnostics, "\n");
    carry_in(boot);
    pad_before_section(boot, p);
    if (data)
        for (int i = 0; i < nbytes; ++i)
            append(boot, data[i]);
    pad_after_section(boot, p);
    pad_to_memory_words(boot, p);
    return place_or_carry_out(boot, p);
}

}  // namespace khex
