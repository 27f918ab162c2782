#include "placement/placer.h"

#include <cstdio>
#include <cstring>

#include "placement/fill.h"
#include "placement/slots.h"
#include "placement/value_pass.h"
#include "placement/unplaced.h"

namespace khex {

namespace {

// A range becomes current: the output learns its fill, for formats that
// write every word of a device.
void range_started(Placer& p)
{
    const RomRange* r = p.state.cursor.current_range;
    if (!r || !p.writing)
        return;
    Placing none(p.state.cursor, nullptr);
    build_pattern(p, *r);
    set_range_fill(p.output, *r, p.state.pattern.data(), p.state.pattern.size());
}

// The range is done: its files get their trailers, the outline hears of it
// (the reports take its contents now), and the next range becomes current.
void close_range(Placer& p)
{
    PlacementState& dp = p.state;
    const RomRange* r = dp.cursor.current_range;
    if (const Value* v = pending_slot(p.values, *r))
        internal_error(p.diagnostics, "%s slot of range '%s' left unwritten", v->option.c_str(), r->name.c_str());
    if (p.writing)
        close_range_files(p.output);
    p.range_closed(*r);
    dp.cursor.current_range = next_range(p.ranges, r);
    if (dp.cursor.current_range)
        dp.cursor.next_address = dp.cursor.current_range->origin;
    range_started(p);
}

// Moves the cursor to the address after last, writing the slots on the way;
// data that comes after last must not land in one.
void advance_range(Placer& p, uint32_t last)
{
    PlacementState& dp = p.state;
    const RomRange& r = *dp.cursor.current_range;
    bool wrapped_around = false;
    for (Value* c; !wrapped_around && (c = pending_slot(p.values, r)) && c->at <= last;) {
        if (uint64_t{c->at} + c->size - 1 > last)
            slot_taken(p, *c);
        if (dp.cursor.next_address < c->at)
            wrapped_around = pass_to(p, r, c->at - 1);
        if (wrapped_around)
            break;
        write_slot(p, r, *c);
        wrapped_around = wrapped(c->at, dp.cursor.next_address);
    }
    if (!wrapped_around && dp.cursor.next_address <= last)
        wrapped_around = pass_to(p, r, last);
    if (dp.cursor.next_address > r.end || wrapped_around)
        close_range(p);
}

// A piece of a RAM-model .cinit is one record's data inside the loader's buffer;
// padding it in place would overwrite the next record, so it is placed from a
// copy with room for the pad bytes.
uint8_t* padded_copy(PlacementState& dp, const uint8_t* data, int nbytes)
{
    dp.record_copy.resize(static_cast<size_t>(nbytes) + LOADBUFSIZE);
    std::memcpy(dp.record_copy.data(), data, static_cast<size_t>(nbytes));
    return dp.record_copy.data();
}

enum class Place { HERE, MOVED, UNPLACED };

// Where data of a section entry at address goes: here at the cursor, not at all, or
// first the cursor moves on (and closes ranges it leaves).
Place find_place(Placer& p, const SectionSpec& spec, uint32_t address)
{
    const PlacementState& dp = p.state;
    const RomRange* r = dp.cursor.current_range;
    if (!r)
        return Place::UNPLACED;
    if (dp.cursor.next_address > r->end) {
        close_range(p);
        return Place::MOVED;
    }
    if (spec.page > r->page) {
        advance_range(p, r->end);
        return Place::MOVED;
    }
    if (spec.page < r->page)
        return Place::UNPLACED;
    if (address > dp.cursor.next_address) {
        advance_range(p, address > r->end ? r->end : address - 1);
        return Place::MOVED;
    }
    return address < dp.cursor.next_address ? Place::UNPLACED : Place::HERE;
}

// Skips the bytes that cannot be placed; false when nothing of the piece is left.
bool skip_unplaced(Placer& p, SectionSpec& spec, uint8_t*& data, int& nbytes, uint32_t& address)
{
    report_unplaced(p, spec, address);
    const PlacementState& dp = p.state;
    if (!dp.cursor.current_range || spec.page != dp.cursor.current_range->page)
        return false;
    uint32_t skip = dp.cursor.next_address - address;
    if (skip >= static_cast<uint32_t>(nbytes))
        return false;
    data += skip;
    nbytes -= static_cast<int>(skip);
    address = dp.cursor.next_address;
    return true;
}

// Pads the piece to whole memory words of the range with the fill pattern.
void pad_to_words(Placer& p, const SectionSpec& spec, const RomRange& r, uint8_t* data, int& nbytes)
{
    const int memwidth = r.memwidth;
    const int rem = nbytes % memwidth;
    if (rem == 0)
        return;
    build_pattern(p, r);
    for (int k = rem; k < memwidth; ++k)
        data[nbytes + (k - rem)] = p.state.pattern[k];
    const int added = memwidth - rem;
    nbytes += added;
    report(p.diagnostics, SEVERITY_WARNING,
           "%s '%s' was padded by %d bytes to a size of %d to satisfy the specified memory width of %d",
           (spec.flags & SPEC_INSERT) ? "inserted file" : "section", spec.name.c_str(), added, nbytes, memwidth);
}

// The boot table placed bytes first..last in r: the reports list its true
// extent there, which the table's own address lags behind when a range closes
// in the middle of a field or piece.
void note_boot_bytes(PlacementState& dp, const RomRange& r, uint32_t first, uint32_t last)
{
    if (dp.boot_extents.size() <= r.index)
        dp.boot_extents.resize(r.index + 1);
    BootExtent& x = dp.boot_extents[r.index];
    if (!x.placed)
        x = BootExtent{true, first, last};
    x.last = last;
}

// Writes as much of the piece as the current range takes from the cursor on;
// returns the bytes written.
int write_here(Placer& p, const SectionSpec& spec, uint8_t* data, int& nbytes)
{
    PlacementState& dp = p.state;
    const RomRange& r = *dp.cursor.current_range;
    pad_to_words(p, spec, r, data, nbytes);
    Placement& placed = dp.placements[spec.index];
    if (placed.range != &r) {
        placed.range = &r;
        placed.start_address = dp.cursor.next_address;
    }
    uint32_t room = r.end - dp.cursor.next_address + 1;
    int n = nbytes;
    if (room != 0 && room < static_cast<uint32_t>(nbytes)) {
        // A range whose end splits a memory word gets the whole word, as
        // image-mode fill does, so the writers always see whole words.
        n = static_cast<int>(room);
        if (n % r.memwidth != 0)
            n = std::min(nbytes, n + r.memwidth - n % r.memwidth);
    }
    values_of_data(p, r, spec, data, n);
    arrange_bytes(p, r, data, n);
    uint32_t before = dp.cursor.next_address;
    write_at_cursor(p, r, data, n, section_owner(p, r, spec, n));
    placed.end_address = dp.cursor.next_address - 1;
    if (p.boot_table.boot_state != BOOT_IDLE)
        note_boot_bytes(dp, r, before, placed.end_address);
    if (dp.cursor.next_address > r.end || wrapped(before, dp.cursor.next_address))
        close_range(p);
    return n;
}

}  // namespace

void start_placement(Placer& p)
{
    PlacementState& dp = p.state;
    const RangeState& ranges = p.ranges;
    dp.cursor.current_range = ranges.rom_list.empty() ? nullptr : ranges.rom_list.front();
    if (dp.cursor.current_range)
        dp.cursor.next_address = dp.cursor.current_range->origin;
    range_started(p);
    dp.placements.assign(p.specs.spec_list.size(), Placement{});
    dp.boot_extents.assign(p.ranges.rom_list.size(), BootExtent{});
    dp.spec_by_section.assign(p.coff.sections.size(), nullptr);
    for (auto it = p.specs.spec_list.rbegin(); it != p.specs.spec_list.rend(); ++it)
        if ((*it)->section >= 0)
            dp.spec_by_section[(*it)->section] = *it;
    // the first .bss in conversion order
    for (int i : p.specs.conversion_order) {
        if (i >= 0 && std::strcmp(p.coff.sections[i].s_name, ".bss") == 0) {
            dp.has_bss = true;
            dp.bss_vaddr = p.coff.sections[i].s_vaddr;
            break;
        }
    }
}

const Placement& placement_of(const PlacementState& state, const SectionSpec& spec)
{
    return state.placements[spec.index];
}

const BootExtent* boot_extent_in(const PlacementState& state, const RomRange& r)
{
    if (r.index >= state.boot_extents.size() || !state.boot_extents[r.index].placed)
        return nullptr;
    return &state.boot_extents[r.index];
}

namespace {

// Where a byte of a section entry at its section's address goes: the entry's
// physical address plus the byte's offset in the section (for a RAM-model
// .cinit, in .bss, whose addresses its records carry).
uint32_t physical_address(const Placer& p, const SectionSpec& spec, uint32_t address)
{
    uint32_t base;
    if (spec.flags & SPEC_CINIT)
        base = p.state.has_bss ? p.state.bss_vaddr : address;
    else
        base = section_of(p.coff, spec).s_vaddr;
    return spec.paddr + (address - base);
}

// The boot table's view of the placement for one step: the cursor, a way to
// place its bytes and to ask where sections went.
void boot_step(Placer& p, FunctionRef<void(BootContext&)> step)
{
    auto place = [&p](SectionSpec* owner, uint8_t* data, int nbytes, uint32_t address) {
        return place_data(p, owner, data, nbytes, address);
    };
    auto received = [&p](const SectionSpec& spec) { return placement_of(p.state, spec).range != nullptr; };
    BootContext boot{p.boot_table, p.boot_buffer, p.diagnostics, p.options, p.settled, p.coff,
                     p.ranges,     p.specs,       p.state.cursor, place,   received};
    step(boot);
}

}  // namespace

void end_boot_table(Placer& p)
{
    auto end = [](BootContext& boot) { boot_table_end(boot); };
    boot_step(p, end);
}

namespace {

// Boot-loaded data: its section's record before its first piece, then its
// bytes through the boot buffer, and after its last piece what the buffer
// still holds.
void write_boot_piece(Placer& p, int section, uint8_t* data, int nbytes, uint32_t address)
{
    const SectionHeader& s = p.coff.sections[section];
    const bool cinit = p.state.cursor.current_spec->flags & SPEC_CINIT;
    auto piece = [&](BootContext& boot) {
        if (cinit)
            boot_section_header(boot, section, address, static_cast<uint32_t>(nbytes));
        else if (address == s.s_vaddr)
            boot_section_header(boot, section, address, s.s_size);
        boot_buffer_add(boot, s, data, address, nbytes);
        uint32_t end = address + static_cast<uint32_t>(nbytes);
        if (!cinit && end >= s.s_paddr + s.s_size && boot.buffer.overflow_length != 0)
            boot_buffer_add(boot, s, nullptr, end, static_cast<int>(boot.buffer.overflow_length));
    };
    boot_step(p, piece);
}

}  // namespace

void write_target_memory(Placer& p, int section, uint8_t* data, int nbytes, uint32_t address)
{
    PlacementState& dp = p.state;
    const SectionHeader& s = p.coff.sections[section];
    if (const RomRange* r = dp.cursor.current_range) {
        if (!divides_load_buffer(r->romwidth))
            internal_error(p.diagnostics, "LOADBUFSIZE not a multiple of width");
        if (!divides_load_buffer(r->memwidth))
            internal_error(p.diagnostics, "LOADBUFSIZE not a multiple of memwidth");
        if (!divides_load_buffer(p.settled.boot_alignment))
            internal_error(p.diagnostics, " LOADBUFSIZE not a mult. of boot.alignment");
    }
    SectionSpec* spec = dp.spec_by_section[section];
    dp.cursor.current_spec = spec;
    if (!spec)
        return;
    const bool boot = spec->flags & SPEC_BOOT;
    const bool cinit = spec->flags & SPEC_CINIT;
    if (p.boot_table.boot_state != 0 && !boot)
        end_boot_table(p);
    uint32_t physical = physical_address(p, *spec, address);

    // The records of a RAM-model .cinit carry .bss addresses, so its first piece
    // is the first record piece delivered.
    bool first_piece = cinit ? !dp.cinit_announced : address == s.s_vaddr;
    if (first_piece) {
        if (cinit)
            dp.cinit_announced = true;
        p.announce(*spec);
        if (!p.options.image && p.writing)
            flush_range_records(p.output);
    }

    if (boot)
        write_boot_piece(p, section, data, nbytes, address);
    else
        place_data(p, spec, cinit ? padded_copy(dp, data, nbytes) : data, nbytes, physical);
}

int place_data(Placer& p, SectionSpec* spec, uint8_t* data, int nbytes, uint32_t address)
{
    if (nbytes <= 0 || !spec)
        return 0;
    Placing placing(p.state.cursor, spec);
    int count = 0;
    while (nbytes > 0) {
        switch (find_place(p, *spec, address)) {
        case Place::MOVED:
            continue;
        case Place::UNPLACED:
            if (!skip_unplaced(p, *spec, data, nbytes, address))
                return count;
            continue;
        case Place::HERE:
            break;
        }
        int n = write_here(p, *spec, data, nbytes);
        count += n;
        data += n;
        nbytes -= n;
        address += static_cast<uint32_t>(n);
    }
    return count;
}

void finish_conversion(Placer& p)
{
    if (p.boot_table.boot_state != 0)
        end_boot_table(p);
    while (p.state.cursor.current_range)
        advance_range(p, p.state.cursor.current_range->end);
    if (p.writing)
        finish_digests(p.values, p.diagnostics);
}

}  // namespace khex
