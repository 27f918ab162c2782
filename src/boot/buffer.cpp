#include "boot/buffer.h"

#include <cstdio>
#include <cstring>

#include "boot/table.h"
#include "coff/loader.h"
#include "driver/diagnostics.h"
#include "driver/options.h"
#include "memory/datapath.h"
#include "memory/ranges.h"
#include "memory/specs.h"
#include "memory/translate.h"

namespace khex {

BootBuffer boot_buffer;

namespace {

constexpr size_t BOOT_BUFFER_GROWTH = 2457;
constexpr uint8_t SECTION_PAD = 0x20;

// Room behind the buffer's capacity for the data path's memory-word padding.
size_t padding_room()
{
    int widest = 1;
    for (const RomRange* r : ranges.rom_list)
        widest = std::max(widest, r->memwidth);
    return static_cast<size_t>(widest);
}

void append(uint8_t byte)
{
    BootBuffer& b = boot_buffer;
    if (b.length == b.capacity) {
        b.capacity += BOOT_BUFFER_GROWTH;
        b.storage.resize(b.capacity + padding_room());
    }
    b.storage[b.length++] = byte;
}

void print_status()
{
    const BootBuffer& b = boot_buffer;
    std::printf("Boot Buffer Address    : 0x%X\n", static_cast<unsigned>(reinterpret_cast<uintptr_t>(b.storage.data())));
    std::printf("Length of Data         : %u\n", static_cast<unsigned>(b.length));
    std::printf("Length of Buffer       : %u\n", static_cast<unsigned>(b.capacity));
    std::printf("Overflow Buffer Address: 0x%X\n", static_cast<unsigned>(reinterpret_cast<uintptr_t>(b.overflow.data())));
    std::printf("Overflow Buffer Length : %u\n", static_cast<unsigned>(b.overflow_length));
}

}  // namespace

void reset_boot_buffer()
{
    boot_buffer = BootBuffer{};
}

// Each record of a boot-loaded RAM-model .cinit is a boot section of its own,
// so its first and last pieces are judged by the record's own extent.
int boot_buffer_add(const SectionHeader& section, const uint8_t* data, uint32_t address, int nbytes)
{
    BootBuffer& b = boot_buffer;
    const SectionSpec& spec = *specs.current_spec;
    const bool record = spec.flags & SPEC_CINIT;
    const uint32_t first = record ? address : section.s_paddr;
    const uint32_t end = record ? address + static_cast<uint32_t>(nbytes) : section.s_paddr + section.s_size;
    const uint32_t check_end = record ? end : section.s_vaddr + section.s_size;
    const bool section_pads = translate.coff_device == 7734 && options.revision >= 2;

    if (options.verbose > 0)
        std::printf("\n");
    if (b.capacity == 0) {
        b.capacity = LOADBUFSIZE;
        b.storage.resize(b.capacity + padding_room());
    }
    b.length = 0;
    if (b.overflow_length != 0) {
        for (size_t i = 0; i < b.overflow_length; ++i)
            append(b.overflow[i]);
        b.overflow.clear();
        b.overflow_length = 0;
    }

    int pads = 0;
    if (address == first && section_pads) {
        while ((address + static_cast<uint32_t>(pads)) & 1) {
            ++pads;
            if (options.verbose > 0)
                std::printf("Adding Pre-section padding\n");
            append(SECTION_PAD);
        }
    }
    if (data)
        for (int i = 0; i < nbytes; ++i)
            append(data[i]);
    if (address + static_cast<uint32_t>(nbytes) >= end) {
        if (section_pads) {
            while ((nbytes + pads) & 1) {
                ++pads;
                if (options.verbose > 0)
                    std::printf("Adding Post-section padding\n");
                append(SECTION_PAD);
            }
        }
        while ((nbytes + pads) % options.boot.alignment != 0) {
            ++pads;
            append(0x00);
        }
    }

    if (const RomRange* r = ranges.current_range) {
        const RomRange* following = next_range(r);
        if ((spec.page > r->page || (spec.page == r->page && address > r->next_address)) && following)
            r = following;
        while (nbytes % r->memwidth != 0) {
            if (address + static_cast<uint32_t>(nbytes) < check_end)
                internal_error("corrupt boot buffer - ABORT");
            if (pads > 0 && static_cast<size_t>(nbytes) < b.length) {
                ++nbytes;
                --pads;
            } else {
                append(0x00);
                ++nbytes;
            }
        }
    }

    int count;
    if (address + static_cast<uint32_t>(nbytes) < end) {
        size_t keep = static_cast<size_t>(nbytes);
        b.overflow.assign(b.storage.begin() + static_cast<long>(keep), b.storage.begin() + static_cast<long>(b.length));
        b.overflow_length = b.length - keep;
        b.length = keep;
        if (options.verbose > 0)
            print_status();
        count = place_data(b.storage.data(), nbytes, boot_table.boot_address);
        boot_table.boot_address += static_cast<uint32_t>(nbytes);
    } else {
        count = place_data(b.storage.data(), static_cast<int>(b.length), boot_table.boot_address);
        boot_table.boot_address += static_cast<uint32_t>(count);
    }
    return count;
}

}  // namespace khex
