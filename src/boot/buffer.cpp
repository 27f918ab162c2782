#include "boot/buffer.h"

#include <cstdio>
#include <cstring>

#include "driver/run.h"

namespace khex {

namespace {

constexpr size_t BOOT_BUFFER_GROWTH = 2457;
constexpr uint8_t SECTION_PAD = 0x20;

// Room behind the buffer's capacity for the data path's memory-word padding.
size_t padding_room(const Run& run)
{
    int widest = 1;
    for (const RomRange* r : run.ranges.rom_list)
        widest = std::max(widest, r->memwidth);
    return static_cast<size_t>(widest);
}

void append(Run& run, uint8_t byte)
{
    BootBuffer& b = run.boot_buffer;
    if (b.length == b.capacity) {
        b.capacity += BOOT_BUFFER_GROWTH;
        b.storage.resize(b.capacity + padding_room(run));
    }
    b.storage[b.length++] = byte;
}

void print_status(const Run& run)
{
    const BootBuffer& b = run.boot_buffer;
    trace(run.diagnostics, "Boot Buffer Address    : 0x%X\n", static_cast<unsigned>(reinterpret_cast<uintptr_t>(b.storage.data())));
    trace(run.diagnostics, "Length of Data         : %u\n", static_cast<unsigned>(b.length));
    trace(run.diagnostics, "Length of Buffer       : %u\n", static_cast<unsigned>(b.capacity));
    trace(run.diagnostics, "Overflow Buffer Address: 0x%X\n", static_cast<unsigned>(reinterpret_cast<uintptr_t>(b.overflow.data())));
    trace(run.diagnostics, "Overflow Buffer Length : %u\n", static_cast<unsigned>(b.overflow_length));
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

bool section_pads(const Run& run)
{
    return run.settled.coff_device == 7734 && run.options.revision >= 2;
}

// The buffer starts empty at every piece, with the bytes carried over from
// the previous piece in front.
void carry_in(Run& run)
{
    BootBuffer& b = run.boot_buffer;
    if (b.capacity == 0) {
        b.capacity = LOADBUFSIZE;
        b.storage.resize(b.capacity + padding_room(run));
    }
    b.length = 0;
    if (b.overflow_length != 0) {
        for (size_t i = 0; i < b.overflow_length; ++i)
            append(run, b.overflow[i]);
        b.overflow.clear();
        b.overflow_length = 0;
    }
}

// A section that starts at an odd address gets one 0x20 in front (revision 2
// and 3 tables).
void pad_before_section(Run& run, BootPiece& p)
{
    if (p.address != p.first || !section_pads(run))
        return;
    while ((p.address + static_cast<uint32_t>(p.pads)) & 1) {
        ++p.pads;
        if (run.options.verbose > 0)
            trace(run.diagnostics, "Adding Pre-section padding\n");
        append(run, SECTION_PAD);
    }
}

// After the section's last byte: 0x20 to an even count (revision 2 and 3),
// then zeros to the boot loader's alignment.
void pad_after_section(Run& run, BootPiece& p)
{
    if (!last_piece(p))
        return;
    if (section_pads(run)) {
        while ((p.nbytes + p.pads) & 1) {
            ++p.pads;
            if (run.options.verbose > 0)
                trace(run.diagnostics, "Adding Post-section padding\n");
            append(run, SECTION_PAD);
        }
    }
    while ((p.nbytes + p.pads) % run.settled.boot_alignment != 0) {
        ++p.pads;
        append(run, 0x00);
    }
}

// The placed length becomes whole memory words of the range that will take
// the bytes, counting pads already in the buffer before adding zeros.
void pad_to_memory_words(Run& run, BootPiece& p)
{
    const RomRange* r = run.datapath.current_range;
    if (!r)
        return;
    const RomRange* following = next_range(run.ranges, r);
    const SectionSpec& spec = *run.datapath.current_spec;
    if ((spec.page > r->page || (spec.page == r->page && p.address > run.datapath.next_address)) && following)
        r = following;
    while (p.nbytes % r->memwidth != 0) {
        if (p.address + static_cast<uint32_t>(p.nbytes) < p.check_end)
            internal_error(run.diagnostics, "corrupt boot buffer - ABORT");
        if (p.pads > 0 && static_cast<size_t>(p.nbytes) < run.boot_buffer.length) {
            ++p.nbytes;
            --p.pads;
        } else {
            append(run, 0x00);
            ++p.nbytes;
        }
    }
}

// A piece before the last places its own length and carries the rest over;
// the last piece places everything the buffer holds.
int place_or_carry_out(Run& run, const BootPiece& p)
{
    BootBuffer& b = run.boot_buffer;
    if (!last_piece(p)) {
        size_t keep = static_cast<size_t>(p.nbytes);
        b.overflow.assign(b.storage.begin() + static_cast<long>(keep), b.storage.begin() + static_cast<long>(b.length));
        b.overflow_length = b.length - keep;
        b.length = keep;
        if (run.options.verbose > 0)
            print_status(run);
        return place_table_bytes(run, b.storage.data(), p.nbytes, true);
    }
    return place_table_bytes(run, b.storage.data(), static_cast<int>(b.length), false);
}

}  // namespace

int boot_buffer_add(Run& run, const SectionHeader& section, const uint8_t* data, uint32_t address, int nbytes)
{
    const bool record = run.datapath.current_spec->flags & SPEC_CINIT;
    BootPiece p{address, nbytes, 0, record ? address : section.s_paddr, 0, 0};
    p.end = record ? address + static_cast<uint32_t>(nbytes) : section.s_paddr + section.s_size;
    p.check_end = record ? p.end : section.s_vaddr + section.s_size;

    if (run.options.verbose > 0)
        trace(run.diagnostics, "\n");
    carry_in(run);
    pad_before_section(run, p);
    if (data)
        for (int i = 0; i < nbytes; ++i)
            append(run, data[i]);
    pad_after_section(run, p);
    pad_to_memory_words(run, p);
    return place_or_carry_out(run, p);
}

}  // namespace khex
