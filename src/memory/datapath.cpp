#include "memory/datapath.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "driver/run.h"

namespace khex {

namespace {

constexpr int FILL_BLOCK = 4096;

// The section entry whose data place_data places, for as long as it does: byte
// arrangement, fill patterns and the writers' warnings go by it.
class Placing {
public:
    Placing(DatapathState& datapath, SectionSpec* spec) : datapath_(datapath), saved_(datapath.current_spec)
    {
        datapath.current_spec = spec;
    }
    ~Placing() { datapath_.current_spec = saved_; }
    Placing(const Placing&) = delete;
    Placing& operator=(const Placing&) = delete;

private:
    DatapathState& datapath_;
    SectionSpec* saved_;
};

void reverse_groups(uint8_t* data, int nbytes, int unit)
{
    // a final group shorter than the unit is left as it is
    for (int start = 0; start + unit <= nbytes; start += unit)
        std::reverse(data + start, data + start + unit);
}

// Bytes in the order the files take them: data-width groups in the target's
// byte order as -order asks, then each memory word's ROM-width lanes.
void arrange_bytes(const Run& run, const RomRange& r, uint8_t* data, int nbytes)
{
    const SectionSpec* spec = run.datapath.current_spec;
    int unit = spec ? spec->datawidth : run.options.datawidth;
    if (unit > 1 && run.coff.target_big_endian != (run.settled.order == ORDER_MS))
        reverse_groups(data, nbytes, unit);
    int w = std::min(r.romwidth, r.memwidth);
    if (w > 1 && run.settled.order == ORDER_LS)
        reverse_groups(data, nbytes, w);
}

// The range's 16-bit fill value in the target's byte order, repeated to a memory
// word of at least two bytes, then arranged like data.
void build_pattern(Run& run, const RomRange& r)
{
    DatapathState& dp = run.datapath;
    size_t size = static_cast<size_t>(std::max(r.memwidth, 2));
    dp.pattern_view.resize(size);
    uint8_t* p = dp.pattern_view.data();
    const bool big = run.coff.target_big_endian;
    p[0] = static_cast<uint8_t>(big ? r.fill >> 8 : r.fill);
    p[1] = static_cast<uint8_t>(big ? r.fill : r.fill >> 8);
    for (size_t k = 2; k < size; ++k)
        p[k] = p[k - 2];
    dp.pattern = dp.pattern_view;
    arrange_bytes(run, r, dp.pattern.data(), static_cast<int>(size));
}

// next_address moved past the top of the 32-bit address space.
bool wrapped(uint32_t before, uint32_t after)
{
    return after <= before;
}

// Hands bytes at the cursor to the writers and moves the cursor past them.
void write_at_cursor(Run& run, const RomRange& r, const uint8_t* data, int nbytes, int period = 0)
{
    write_range_data(run.output, r, run.datapath.next_address, data, nbytes, period, run.datapath.current_spec);
    run.datapath.next_address += static_cast<uint32_t>(nbytes);
}

// A ROM wider than a memory word: each word is one data operation.
bool write_fill_words(Run& run, const RomRange& r, uint32_t last)
{
    DatapathState& dp = run.datapath;
    for (uint32_t word = 0; dp.next_address <= last; ++word) {
        uint32_t before = dp.next_address;
        uint32_t o = r.memwidth == 1 ? word % 2 : 0;
        checksum_bytes(run, r, dp.next_address, dp.pattern_view.data() + o, static_cast<size_t>(r.memwidth));
        write_at_cursor(run, r, dp.pattern.data() + o, r.memwidth);
        if (wrapped(before, dp.next_address))
            return true;
    }
    return false;
}

// Image mode: fill words from next_address up to last (whole words, so the end
// may pass last a little). One-byte words take the two fill bytes in turn,
// starting with the first at every call; wider words are the pattern's first
// memwidth bytes. Several words go to the writers at once when each word splits
// into lanes anyway. Returns whether the fill wrapped past the top of the
// address space.
bool write_fill(Run& run, const RomRange& r, uint32_t last)
{
    DatapathState& dp = run.datapath;
    build_pattern(run, r);
    if (r.romwidth > r.memwidth)
        return write_fill_words(run, r, last);
    const uint32_t memwidth = static_cast<uint32_t>(r.memwidth);
    const uint32_t block_words = std::max<uint32_t>(1, FILL_BLOCK / memwidth);
    const bool summed = has_checksums(run, r);
    dp.fill_block.resize(block_words * memwidth);
    dp.fill_view.resize(block_words * memwidth);
    for (uint32_t w = 0; w < block_words; ++w) {
        uint32_t o = memwidth == 1 ? w % 2 : 0;
        std::memcpy(dp.fill_block.data() + w * memwidth, dp.pattern.data() + o, memwidth);
        std::memcpy(dp.fill_view.data() + w * memwidth, dp.pattern_view.data() + o, memwidth);
    }
    while (dp.next_address <= last) {
        uint64_t remaining = uint64_t{last} - dp.next_address + 1;
        uint64_t to_wrap = (uint64_t{1} << 32) - dp.next_address;
        uint64_t words = (std::min(remaining, to_wrap) + memwidth - 1) / memwidth;
        uint32_t now = static_cast<uint32_t>(std::min<uint64_t>(words, block_words));
        uint32_t before = dp.next_address;
        if (summed)
            checksum_bytes(run, r, dp.next_address, dp.fill_view.data(), now * memwidth);
        // one-byte words alternate the two fill bytes; wider words repeat
        write_at_cursor(run, r, dp.fill_block.data(), static_cast<int>(now * memwidth), memwidth == 1 ? 2 : 1);
        if (wrapped(before, dp.next_address))
            return true;
    }
    return false;
}

// The range is done: its files get their trailers, its map entry and picture
// are written, and the next range becomes current.
void close_range(Run& run)
{
    DatapathState& dp = run.datapath;
    const RomRange* r = dp.current_range;
    if (pending_slot(run, *r))
        internal_error(run.diagnostics, "checksum slot of range '%s' left unwritten", r->name.c_str());
    close_range_files(run.output);
    report_range_closed(run, *r);
    dp.current_range = next_range(run.ranges, r);
    if (dp.current_range)
        dp.next_address = dp.current_range->origin;
}

// Moves the cursor to the address after last, past addresses no data
// occupies: filled in image mode, holes in the checksums' spans otherwise.
// Returns whether it wrapped past the top of the address space.
bool pass_to(Run& run, const RomRange& r, uint32_t last)
{
    DatapathState& dp = run.datapath;
    if (run.options.image)
        return write_fill(run, r, last);
    checksum_hole(run, r, dp.next_address, last);
    dp.next_address = last + 1;
    return last == 0xFFFFFFFF;
}

[[noreturn]] void slot_taken(Run& run, const Checksum& c)
{
    const SectionSpec* spec = run.datapath.current_spec;
    if (run.boot_table.boot_state != 0 || !spec)
        fatal(run.diagnostics, "the boot table would be placed in the checksum slot at 0x%08lx of range '%s'",
              static_cast<unsigned long>(c.at), c.range->name.c_str());
    fatal(run.diagnostics, "section '%s' would be placed in the checksum slot at 0x%08lx of range '%s'", spec->name.c_str(),
          static_cast<unsigned long>(c.at), c.range->name.c_str());
}

// A checksum's value, which its span now holds whole, goes into its slot at
// the cursor, through the byte arrangement, the lanes and the writers like
// section data.
void write_slot(Run& run, const RomRange& r, Checksum& c)
{
    DatapathState& dp = run.datapath;
    if (dp.next_address != c.at)
        fatal(run.diagnostics, "the fill before the checksum slot at 0x%08lx of range '%s' ends inside it: the data before it "
                   "does not end on a memory word",
              static_cast<unsigned long>(c.at), r.name.c_str());
    dp.slot_bytes.assign(c.size, 0);
    finish_checksum(run, c, dp.slot_bytes.data());
    checksum_bytes(run, r, c.at, dp.slot_bytes.data(), c.size);  // later spans may cover it
    Placing placing(dp, &c.label);
    arrange_bytes(run, r, dp.slot_bytes.data(), static_cast<int>(c.size));
    write_at_cursor(run, r, dp.slot_bytes.data(), static_cast<int>(c.size));
}

// Moves the cursor to the address after last, writing the checksum slots on
// the way; data that comes after last must not land in one.
void advance_range(Run& run, uint32_t last)
{
    DatapathState& dp = run.datapath;
    const RomRange& r = *dp.current_range;
    bool wrapped_around = false;
    for (Checksum* c; !wrapped_around && (c = pending_slot(run, r)) && c->at <= last;) {
        if (uint64_t{c->at} + c->size - 1 > last)
            slot_taken(run, *c);
        if (dp.next_address < c->at)
            wrapped_around = pass_to(run, r, c->at - 1);
        if (wrapped_around)
            break;
        write_slot(run, r, *c);
        wrapped_around = wrapped(c->at, dp.next_address);
    }
    if (!wrapped_around && dp.next_address <= last)
        wrapped_around = pass_to(run, r, last);
    if (dp.next_address > r.end || wrapped_around)
        close_range(run);
}

// A piece of a RAM-model .cinit is one record's data inside the loader's buffer;
// padding it in place would overwrite the next record, so it is placed from a
// copy with room for the pad bytes.
uint8_t* padded_copy(DatapathState& dp, const uint8_t* data, int nbytes)
{
    dp.record_copy.resize(static_cast<size_t>(nbytes) + LOADBUFSIZE);
    std::memcpy(dp.record_copy.data(), data, static_cast<size_t>(nbytes));
    return dp.record_copy.data();
}

void announce(Run& run, const SectionSpec& spec)
{
    const ConvOptions& options = run.options;
    if (!options.quiet) {
        std::fprintf(run.diagnostics.console.out, "   \"%s\"   ==> %s", run.input.coff_name.c_str(), spec.name.c_str());
        if (spec.flags & SPEC_BOOT)
            std::fprintf(run.diagnostics.console.out, " \t(BOOT LOAD)");
        if (options.verbose <= 0)
            std::fprintf(run.diagnostics.console.out, "\n");
    }
    if (!options.image)
        flush_range_records(run.output);
}

}  // namespace

namespace {

// The warning for data that cannot be placed, once per section entry.
void report_unplaced(Run& run, SectionSpec& s, uint32_t address)
{
    DatapathState& dp = run.datapath;
    Placement& mine = dp.placements[s.index];
    if (mine.incomplete)
        return;
    mine.incomplete = true;
    const bool table_open = run.boot_table.boot_state != 0;
    for (const SectionSpec* t : run.specs.spec_list) {
        const Placement& placed = dp.placements[t->index];
        if (t == &s || !placed.range || t->page != s.page || address < t->paddr || address > placed.end_address)
            continue;
        const bool boot = t->flags & SPEC_BOOT;
        mine.unplaced = table_open ? "the boot table overlaps section '" + t->name + "'"
                        : boot     ? std::string("overlaps the boot table")
                                   : "overlaps section '" + t->name + "'";
        if (table_open)
            report(run.diagnostics, SEVERITY_WARNING, "boot table at 0%lxh overlaps section '%s' (table incomplete)",
                   static_cast<unsigned long>(address), t->name.c_str());
        else
            report(run.diagnostics, SEVERITY_WARNING, "section '%s' at 0%lxh overlaps %s (%s incomplete or skipped)",
                   s.name.c_str(), static_cast<unsigned long>(address), boot ? "boot table" : t->name.c_str(),
                   s.name.c_str());
        return;
    }
    mine.unplaced = "lies in unconfigured memory";
    if (table_open) {
        report(run.diagnostics, SEVERITY_WARNING, "boot table falls in unconfigured memory at 0%lxh",
               static_cast<unsigned long>(address));
        return;
    }
    const RomRange* r = dp.current_range;
    uint32_t section_size = s.section >= 0 ? section_of(run.coff, s).s_size : 0;
    if (r && r->page == s.page && (address != s.paddr || s.paddr + section_size >= r->origin))
        report(run.diagnostics, SEVERITY_WARNING, "section '%s' overlaps unconfigured memory at 0%lxh (%s incomplete)",
               s.name.c_str(), static_cast<unsigned long>(address), s.name.c_str());
    else
        report(run.diagnostics, SEVERITY_WARNING, "section '%s' at 0%lxh falls in unconfigured memory (skipped)", s.name.c_str(),
               static_cast<unsigned long>(address));
}

enum class Place { HERE, MOVED, UNPLACED };

// Where data of a section entry at address goes: here at the cursor, not at all, or
// first the cursor moves on (and closes ranges it leaves).
Place find_place(Run& run, const SectionSpec& spec, uint32_t address)
{
    const DatapathState& dp = run.datapath;
    const RomRange* r = dp.current_range;
    if (!r)
        return Place::UNPLACED;
    if (dp.next_address > r->end) {
        close_range(run);
        return Place::MOVED;
    }
    if (spec.page > r->page) {
        advance_range(run, r->end);
        return Place::MOVED;
    }
    if (spec.page < r->page)
        return Place::UNPLACED;
    if (address > dp.next_address) {
        advance_range(run, address > r->end ? r->end : address - 1);
        return Place::MOVED;
    }
    return address < dp.next_address ? Place::UNPLACED : Place::HERE;
}

// Skips the bytes that cannot be placed; false when nothing of the piece is left.
bool skip_unplaced(Run& run, SectionSpec& spec, uint8_t*& data, int& nbytes, uint32_t& address)
{
    report_unplaced(run, spec, address);
    const DatapathState& dp = run.datapath;
    if (!dp.current_range || spec.page != dp.current_range->page)
        return false;
    uint32_t skip = dp.next_address - address;
    if (skip >= static_cast<uint32_t>(nbytes))
        return false;
    data += skip;
    nbytes -= static_cast<int>(skip);
    address = dp.next_address;
    return true;
}

// Pads the piece to whole memory words of the range with the fill pattern.
void pad_to_words(Run& run, const SectionSpec& spec, const RomRange& r, uint8_t* data, int& nbytes)
{
    const int memwidth = r.memwidth;
    const int rem = nbytes % memwidth;
    if (rem == 0)
        return;
    build_pattern(run, r);
    for (int k = rem; k < memwidth; ++k)
        data[nbytes + (k - rem)] = run.datapath.pattern[k];
    const int added = memwidth - rem;
    nbytes += added;
    report(run.diagnostics, SEVERITY_WARNING,
           "section '%s' was padded by %d bytes to a size of %d to satisfy the specified memory width of %d",
           spec.name.c_str(), added, nbytes, memwidth);
}

// Writes as much of the piece as the current range takes from the cursor on;
// returns the bytes written.
int write_here(Run& run, const SectionSpec& spec, uint8_t* data, int& nbytes)
{
    DatapathState& dp = run.datapath;
    const RomRange& r = *dp.current_range;
    pad_to_words(run, spec, r, data, nbytes);
    Placement& placed = dp.placements[spec.index];
    if (placed.range != &r) {
        placed.range = &r;
        placed.start_address = dp.next_address;
    }
    uint32_t room = r.end - dp.next_address + 1;
    int n = nbytes;
    if (room != 0 && room < static_cast<uint32_t>(nbytes)) {
        // A range whose end splits a memory word gets the whole word, as
        // image-mode fill does, so the writers always see whole words.
        n = static_cast<int>(room);
        if (n % r.memwidth != 0)
            n = std::min(nbytes, n + r.memwidth - n % r.memwidth);
    }
    if (const Checksum* c = pending_slot(run, r); c && c->at < uint64_t{dp.next_address} + static_cast<uint32_t>(n))
        slot_taken(run, *c);
    checksum_bytes(run, r, dp.next_address, data, static_cast<size_t>(n));
    arrange_bytes(run, r, data, n);
    uint32_t before = dp.next_address;
    write_at_cursor(run, r, data, n);
    placed.end_address = dp.next_address - 1;
    if (dp.next_address > r.end || wrapped(before, dp.next_address))
        close_range(run);
    return n;
}

}  // namespace

void start_placement(Run& run)
{
    DatapathState& dp = run.datapath;
    const RangeState& ranges = run.ranges;
    dp.current_range = ranges.rom_list.empty() ? nullptr : ranges.rom_list.front();
    if (dp.current_range)
        dp.next_address = dp.current_range->origin;
    dp.placements.assign(run.specs.spec_list.size(), Placement{});
    dp.spec_by_section.assign(run.coff.sections.size(), nullptr);
    for (auto it = run.specs.spec_list.rbegin(); it != run.specs.spec_list.rend(); ++it)
        if ((*it)->section >= 0)
            dp.spec_by_section[(*it)->section] = *it;
    // the first .bss in conversion order
    for (int i : run.specs.conversion_order) {
        if (std::strcmp(run.coff.sections[i].s_name, ".bss") == 0) {
            dp.has_bss = true;
            dp.bss_vaddr = run.coff.sections[i].s_vaddr;
            break;
        }
    }
}

const Placement& placement_of(const Run& run, const SectionSpec& spec)
{
    return run.datapath.placements[spec.index];
}

uint32_t physical_address(const Run& run, const SectionSpec& spec, uint32_t address)
{
    uint32_t base;
    if (spec.flags & SPEC_CINIT)
        base = run.datapath.has_bss ? run.datapath.bss_vaddr : address;
    else
        base = section_of(run.coff, spec).s_vaddr;
    return spec.paddr + (address - base);
}

void write_target_memory(Run& run, int section, uint8_t* data, int nbytes, uint32_t address)
{
    DatapathState& dp = run.datapath;
    const SectionHeader& s = run.coff.sections[section];
    if (const RomRange* r = dp.current_range) {
        if (!divides_load_buffer(r->romwidth))
            internal_error(run.diagnostics, "LOADBUFSIZE not a multiple of width");
        if (!divides_load_buffer(r->memwidth))
            internal_error(run.diagnostics, "LOADBUFSIZE not a multiple of memwidth");
        if (!divides_load_buffer(run.settled.boot_alignment))
            internal_error(run.diagnostics, " LOADBUFSIZE not a mult. of boot.alignment");
    }
    SectionSpec* spec = dp.spec_by_section[section];
    dp.current_spec = spec;
    if (!spec)
        return;
    const bool boot = spec->flags & SPEC_BOOT;
    const bool cinit = spec->flags & SPEC_CINIT;
    if (run.boot_table.boot_state != 0 && !boot)
        boot_table_end(run);
    uint32_t physical = physical_address(run, *spec, address);

    // The records of a RAM-model .cinit carry .bss addresses, so its first piece
    // is the first record piece delivered.
    bool first_piece = cinit ? !dp.cinit_announced : address == s.s_vaddr;
    if (first_piece) {
        if (cinit)
            dp.cinit_announced = true;
        announce(run, *spec);
    }

    if (!boot) {
        place_data(run, spec, cinit ? padded_copy(dp, data, nbytes) : data, nbytes, physical);
        return;
    }
    if (cinit)
        boot_section_header(run, section, address, static_cast<uint32_t>(nbytes));
    else if (address == s.s_vaddr)
        boot_section_header(run, section, address, s.s_size);
    boot_buffer_add(run, s, data, address, nbytes);
    uint32_t end = address + static_cast<uint32_t>(nbytes);
    if (!cinit && end >= s.s_paddr + s.s_size && run.boot_buffer.overflow_length != 0)
        boot_buffer_add(run, s, nullptr, end, static_cast<int>(run.boot_buffer.overflow_length));
}

int place_data(Run& run, SectionSpec* spec, uint8_t* data, int nbytes, uint32_t address)
{
    if (nbytes <= 0 || !spec)
        return 0;
    Placing placing(run.datapath, spec);
    int count = 0;
    while (nbytes > 0) {
        switch (find_place(run, *spec, address)) {
        case Place::MOVED:
            continue;
        case Place::UNPLACED:
            if (!skip_unplaced(run, *spec, data, nbytes, address))
                return count;
            continue;
        case Place::HERE:
            break;
        }
        int n = write_here(run, *spec, data, nbytes);
        count += n;
        data += n;
        nbytes -= n;
        address += static_cast<uint32_t>(n);
    }
    return count;
}

void finish_conversion(Run& run)
{
    if (run.boot_table.boot_state != 0)
        boot_table_end(run);
    while (run.datapath.current_range)
        advance_range(run, run.datapath.current_range->end);
}

}  // namespace khex
