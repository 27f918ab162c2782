#include "memory/datapath.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "boot/buffer.h"
#include "boot/table.h"
#include "coff/loader.h"
#include "driver/diagnostics.h"
#include "driver/input.h"
#include "driver/options.h"
#include "memory/map.h"
#include "memory/ranges.h"
#include "memory/specs.h"
#include "memory/svg_map.h"
#include "output/framework.h"

namespace khex {

namespace {

constexpr int FILL_BLOCK = 4096;

struct DatapathState {
    std::vector<SectionSpec*> spec_by_section;  // the section spec of each section table entry
    bool cinit_announced;
    std::vector<uint8_t> pattern;               // fill pattern of the current range
    std::vector<uint8_t> fill_block;            // repeated fill words for image mode
    std::vector<uint8_t> record_copy;           // autoinitialisation data with room to pad
};
DatapathState datapath;

SectionSpec* spec_of_section(int index)
{
    if (datapath.spec_by_section.size() != coff.sections.size()) {
        datapath.spec_by_section.assign(coff.sections.size(), nullptr);
        for (auto it = specs.spec_list.rbegin(); it != specs.spec_list.rend(); ++it)
            if ((*it)->section >= 0)
                datapath.spec_by_section[(*it)->section] = *it;
    }
    return datapath.spec_by_section[index];
}

// The range's 16-bit fill value in the target's byte order, repeated to a memory
// word of at least two bytes, then arranged like data.
void build_pattern(const RomRange& r)
{
    size_t size = static_cast<size_t>(std::max(r.memwidth, 2));
    datapath.pattern.resize(size);
    uint8_t* p = datapath.pattern.data();
    p[0] = static_cast<uint8_t>(coff.target_big_endian ? r.fill >> 8 : r.fill);
    p[1] = static_cast<uint8_t>(coff.target_big_endian ? r.fill : r.fill >> 8);
    for (size_t k = 2; k < size; ++k)
        p[k] = p[k - 2];
    arrange_bytes(p, static_cast<int>(size));
}

void reverse_groups(uint8_t* data, int nbytes, int unit)
{
    // a final group shorter than the unit is left as it is
    for (int start = 0; start + unit <= nbytes; start += unit)
        std::reverse(data + start, data + start + unit);
}

// next_address moved past the top of the 32-bit address space.
bool wrapped(uint32_t before, uint32_t after)
{
    return after <= before;
}

// Image mode: fill words from next_address up to last (whole words, so the end
// may pass last a little). One-byte words take the two fill bytes in turn,
// starting with the first at every call; wider words are the pattern's first
// memwidth bytes. Several words go to the writers at once when each word splits
// into lanes anyway; a ROM wider than a word gets one word at a time, as each
// call is one data operation then. Returns whether the fill wrapped past the
// top of the address space.
bool write_fill(RomRange& r, uint32_t last)
{
    build_pattern(r);
    const uint32_t memwidth = static_cast<uint32_t>(r.memwidth);
    if (r.romwidth > r.memwidth) {
        for (uint32_t word = 0; r.next_address <= last; ++word) {
            uint32_t before = r.next_address;
            uint32_t o = memwidth == 1 ? word % 2 : 0;
            write_range_data(datapath.pattern.data() + o, r.memwidth);
            if (wrapped(before, r.next_address))
                return true;
        }
        return false;
    }
    const uint32_t block_words = std::max<uint32_t>(1, FILL_BLOCK / memwidth);
    datapath.fill_block.resize(block_words * memwidth);
    for (uint32_t w = 0; w < block_words; ++w) {
        uint32_t o = memwidth == 1 ? w % 2 : 0;
        std::memcpy(datapath.fill_block.data() + w * memwidth, datapath.pattern.data() + o, memwidth);
    }
    while (r.next_address <= last) {
        uint64_t remaining = uint64_t{last} - r.next_address + 1;
        uint64_t to_wrap = (uint64_t{1} << 32) - r.next_address;
        uint64_t words = (std::min(remaining, to_wrap) + memwidth - 1) / memwidth;
        uint32_t now = static_cast<uint32_t>(std::min<uint64_t>(words, block_words));
        uint32_t before = r.next_address;
        write_range_data(datapath.fill_block.data(), static_cast<int>(now * memwidth));
        if (wrapped(before, r.next_address))
            return true;
    }
    return false;
}

// A piece of a RAM-model .cinit is one record's data inside the loader's buffer;
// padding it in place would overwrite the next record, so it is placed from a
// copy with room for the pad bytes.
uint8_t* padded_copy(const uint8_t* data, int nbytes)
{
    datapath.record_copy.resize(static_cast<size_t>(nbytes) + LOADBUFSIZE);
    std::memcpy(datapath.record_copy.data(), data, static_cast<size_t>(nbytes));
    return datapath.record_copy.data();
}

void announce(const SectionSpec& spec)
{
    if (!options.quiet) {
        std::printf("   \"%s\"   ==> %s", input.coff_name.c_str(), spec.name.c_str());
        if (spec.flags & SPEC_BOOT)
            std::printf(" \t(BOOT LOAD)");
        if (options.verbose <= 0)
            std::printf("\n");
    }
    if (!options.image)
        flush_range_records();
}

}  // namespace

void reset_datapath()
{
    datapath.spec_by_section.clear();
    datapath.cinit_announced = false;
}

void arrange_bytes(uint8_t* data, int nbytes)
{
    const SectionSpec* spec = specs.current_spec;
    int unit = spec ? spec->datawidth : options.datawidth;
    if (unit > 1 && coff.target_big_endian != (options.order == ORDER_MS))
        reverse_groups(data, nbytes, unit);
    const RomRange* r = ranges.current_range;
    int w = std::min(r->romwidth, r->memwidth);
    if (w > 1 && options.order == ORDER_LS)
        reverse_groups(data, nbytes, w);
}

uint32_t physical_address(uint32_t address)
{
    const SectionSpec& spec = *specs.current_spec;
    uint32_t base;
    if (spec.flags & SPEC_CINIT) {
        base = address;
        for (const SectionHeader& s : coff.sections) {
            if (std::strcmp(s.s_name, ".bss") == 0) {
                base = s.s_vaddr;
                break;
            }
        }
    } else {
        base = coff.sections[spec.section].s_vaddr;
    }
    return spec.paddr + (address - base);
}

void write_target_memory(uint8_t* data, int nbytes, uint32_t address)
{
    const SectionHeader& s = coff.sections[coff.current_section];
    if (const RomRange* r = ranges.current_range) {
        if (LOADBUFSIZE % r->romwidth != 0)
            internal_error("LOADBUFSIZE not a multiple of width");
        if (LOADBUFSIZE % r->memwidth != 0)
            internal_error("LOADBUFSIZE not a multiple of memwidth");
        if (LOADBUFSIZE % options.boot.alignment != 0)
            internal_error(" LOADBUFSIZE not a mult. of boot.alignment");
    }
    SectionSpec* spec = spec_of_section(coff.current_section);
    specs.current_spec = spec;
    if (!spec)
        return;
    const bool boot = spec->flags & SPEC_BOOT;
    const bool cinit = spec->flags & SPEC_CINIT;
    if (boot_table.boot_state != 0 && !boot)
        boot_table_end();
    uint32_t physical = physical_address(address);

    // The records of a RAM-model .cinit carry .bss addresses, so its first piece
    // is the first record piece delivered.
    bool first_piece = cinit ? !datapath.cinit_announced : address == s.s_vaddr;
    if (first_piece) {
        if (cinit)
            datapath.cinit_announced = true;
        announce(*spec);
    }

    if (!boot) {
        place_data(cinit ? padded_copy(data, nbytes) : data, nbytes, physical);
        return;
    }
    if (cinit)
        boot_section_header(address, static_cast<uint32_t>(nbytes));
    else if (address == s.s_vaddr)
        boot_section_header(address, s.s_size);
    boot_buffer_add(s, data, address, nbytes);
    uint32_t end = address + static_cast<uint32_t>(nbytes);
    if (!cinit && end >= s.s_paddr + s.s_size && boot_buffer.overflow_length != 0)
        boot_buffer_add(s, nullptr, end, static_cast<int>(boot_buffer.overflow_length));
}

int place_data(uint8_t* data, int nbytes, uint32_t address)
{
    int count = 0;
    SectionSpec* spec = specs.current_spec;
    if (nbytes <= 0 || !spec)
        return 0;
    while (nbytes > 0) {
        RomRange* r = ranges.current_range;
        bool unplaced = false;
        if (!r) {
            unplaced = true;
        } else if (r->next_address > r->end) {
            close_range();
            continue;
        } else if (spec->page > r->page) {
            advance_range(r->end);
            continue;
        } else if (spec->page < r->page) {
            unplaced = true;
        } else if (address > r->next_address) {
            advance_range(address > r->end ? r->end : address - 1);
            continue;
        } else if (address < r->next_address) {
            unplaced = true;
        }

        if (unplaced) {
            report_unplaced(address);
            if (!r || spec->page != r->page)
                return count;
            uint32_t skip = r->next_address - address;
            if (skip >= static_cast<uint32_t>(nbytes))
                return count;
            data += skip;
            nbytes -= static_cast<int>(skip);
            address = r->next_address;
            continue;
        }

        const int memwidth = r->memwidth;
        if (int rem = nbytes % memwidth) {
            build_pattern(*r);
            for (int k = rem; k < memwidth; ++k)
                data[nbytes + (k - rem)] = datapath.pattern[k];
            int added = memwidth - rem;
            nbytes += added;
            report(SEVERITY_WARNING,
                   "section '%s' was padded by %d bytes to a size of %d to satisfy the specified memory width of %d",
                   spec->name.c_str(), added, nbytes, memwidth);
        }
        if (spec->range != r) {
            spec->range = r;
            spec->start_address = r->next_address;
        }
        uint32_t room = r->end - r->next_address + 1;
        int n = nbytes;
        if (room != 0 && room < static_cast<uint32_t>(nbytes)) {
            // A range whose end splits a memory word gets the whole word, as
            // image-mode fill does, so the writers always see whole words.
            n = static_cast<int>(room);
            if (n % memwidth != 0)
                n = std::min(nbytes, n + memwidth - n % memwidth);
        }
        arrange_bytes(data, n);
        uint32_t before = r->next_address;
        write_range_data(data, n);
        count += n;
        data += n;
        nbytes -= n;
        address = r->next_address;
        spec->end_address = r->next_address - 1;
        if (r->next_address > r->end || wrapped(before, r->next_address))
            close_range();
    }
    return count;
}

void advance_range(uint32_t last)
{
    RomRange& r = *ranges.current_range;
    bool wrapped_around;
    if (options.image) {
        wrapped_around = write_fill(r, last);
    } else {
        r.next_address = last + 1;
        wrapped_around = last == 0xFFFFFFFF;
    }
    if (r.next_address > r.end || wrapped_around)
        close_range();
}

void report_unplaced(uint32_t address)
{
    SectionSpec& s = *specs.current_spec;
    if (s.flags & SPEC_INCOMPLETE)
        return;
    s.flags |= SPEC_INCOMPLETE;
    for (const SectionSpec* t : specs.spec_list) {
        if (t == &s || !t->range || t->page != s.page || address < t->paddr || address > t->end_address)
            continue;
        if (boot_table.boot_state != 0)
            report(SEVERITY_WARNING, "boot table at 0%lxh overlaps section '%s' (table incomplete)",
                   static_cast<unsigned long>(address), t->name.c_str());
        else
            report(SEVERITY_WARNING, "section '%s' at 0%lxh overlaps %s (%s incomplete or skipped)", s.name.c_str(),
                   static_cast<unsigned long>(address), (t->flags & SPEC_BOOT) ? "boot table" : t->name.c_str(),
                   s.name.c_str());
        return;
    }
    if (boot_table.boot_state != 0) {
        report(SEVERITY_WARNING, "boot table falls in unconfigured memory at 0%lxh", static_cast<unsigned long>(address));
        return;
    }
    const RomRange* r = ranges.current_range;
    uint32_t section_size = s.section >= 0 ? coff.sections[s.section].s_size : 0;
    if (r && r->page == s.page && (address != s.paddr || s.paddr + section_size >= r->origin))
        report(SEVERITY_WARNING, "section '%s' overlaps unconfigured memory at 0%lxh (%s incomplete)", s.name.c_str(),
               static_cast<unsigned long>(address), s.name.c_str());
    else
        report(SEVERITY_WARNING, "section '%s' at 0%lxh falls in unconfigured memory (skipped)", s.name.c_str(),
               static_cast<unsigned long>(address));
}

void close_range()
{
    RomRange* r = ranges.current_range;
    if (r->files_open)
        close_range_files();
    if (options.map_file || options.svg_file) {
        std::vector<ContentEntry> contents = range_contents(*r);
        if (options.map_file)
            write_map_range(contents);
        if (options.svg_file)
            svg_map_range(*r, contents);
    }
    ranges.current_range = next_range(r);
}

void finish_conversion()
{
    if (boot_table.boot_state != 0)
        boot_table_end();
    while (ranges.current_range)
        advance_range(ranges.current_range->end);
}

}  // namespace khex
