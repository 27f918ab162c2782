#include "boot/table.h"

#include "driver/run.h"

namespace khex {

namespace {

constexpr uint32_t DELAY_CODE = 0xFFFF;
constexpr uint32_t START_DSP_CODE = 0xFFFE;

bool device_is_7734(const Run& run)
{
    return run.settled.coff_device == 7734;
}

// One 16-bit field in the target's byte order, placed at the table's address.
void write_field(Run& run, uint32_t value)
{
    std::vector<uint8_t>& field = run.boot_table.field_buffer;
    field.resize(2 + LOADBUFSIZE);
    uint8_t high = static_cast<uint8_t>(value >> 8);
    uint8_t low = static_cast<uint8_t>(value);
    field[0] = run.coff.target_big_endian ? high : low;
    field[1] = run.coff.target_big_endian ? low : high;
    place_table_bytes(run, field.data(), 2, false);
}

void write_pair(Run& run, uint32_t first, uint32_t second)
{
    write_field(run, first);
    write_field(run, second);
}

void write_register_entries(Run& run)
{
    for (const BootEntry& entry : run.settled.boot_entries) {
        switch (entry.kind) {
        case BOOT_REGISTER:
            if (entry.address >= 0xFFF0 && entry.address <= 0xFFFF)
                report(run.diagnostics, SEVERITY_WARNING, "register address range 0xFFF0-0xFFFF is reserved");
            write_pair(run, entry.address, entry.value);
            break;
        case BOOT_DELAY:
            if (entry.value > 0xFFFF)
                report(run.diagnostics, SEVERITY_ERROR, "delay value %d is too large", static_cast<int>(entry.value));
            write_pair(run, DELAY_CODE, entry.value);
            break;
        case BOOT_START_DSP:
            if (entry.value > 0xFFFF)
                report(run.diagnostics, SEVERITY_ERROR, "config value %d is too large", static_cast<int>(entry.value));
            write_pair(run, START_DSP_CODE, entry.value);
            break;
        default:
            break;  // a register symbol that was not found: counted, not written
        }
    }
}

void mark(Run& run, BootMark::Kind kind, const SectionSpec* spec = nullptr, uint32_t dest = 0, uint32_t size = 0)
{
    run.boot_table.marks.push_back({kind, run.boot_table.boot_address, spec, dest, size});
}

// Revision 1: a header only when the entry point is not the first section's
// start; it has the shape of a record of k zero words at the entry point.
void write_table_header(Run& run, uint32_t first_address)
{
    const uint32_t entry = run.settled.entry_address;
    if (run.options.revision >= 2) {
        mark(run, BootMark::HEADER);
        write_pair(run, entry >> 16, entry & 0xFFFF);
        uint32_t n = static_cast<uint32_t>(run.settled.boot_entries.size());
        write_pair(run, n >> 16, n & 0xFFFF);
        write_register_entries(run);
        return;
    }
    if (entry == first_address)
        return;
    mark(run, BootMark::HEADER);
    int k = std::max(run.settled.boot_alignment / 2, 1);
    write_field(run, static_cast<uint32_t>(k));
    write_pair(run, entry >> 17, (entry >> 1) & 0xFFFF);
    for (int i = 0; i < k; ++i)
        write_field(run, 0);
}

void write_section_record(Run& run, int section, uint32_t address, uint32_t size)
{
    const SectionSpec& spec = *run.datapath.current_spec;
    mark(run, BootMark::SECTION, &spec, address, size);
    if (run.options.revision >= 2) {
        write_pair(run, size >> 16, size & 0xFFFF);
        write_pair(run, address >> 16, address & 0xFFFF);
        return;
    }
    const SectionHeader& s = run.coff.sections[section];
    if ((s.s_flags & STYP_TEXT) && (address & 1))
        report(run.diagnostics, SEVERITY_ERROR,
               "Starting address of section %s is not aligned to an even byte boundary as required for a boot loader "
               "of the requested type",
               spec.name.c_str());
    if (size >= 0x20000)
        report(run.diagnostics, SEVERITY_ERROR, "section %s exceeds 64k boot table limit", spec.name.c_str());
    // the size in 16-bit words of the bytes the boot buffer places
    uint64_t alignment = static_cast<uint64_t>(run.settled.boot_alignment);
    uint64_t padded = (uint64_t{size} + alignment - 1) / alignment * alignment;
    write_field(run, static_cast<uint32_t>(padded / 2));
    write_pair(run, address >> 17, (address >> 1) & 0xFFFF);
}

// The end marker goes where the boot sections went: with the last one that
// received data, or with the current section entry when none did.
SectionSpec* end_marker_spec(const Run& run)
{
    const std::vector<SectionSpec*>& list = run.specs.spec_list;
    for (auto it = list.rbegin(); it != list.rend(); ++it)
        if (((*it)->flags & SPEC_BOOT) && placement_of(run, **it).range)
            return *it;
    return run.datapath.current_spec;
}

}  // namespace

void boot_table_start(Run& run)
{
    run.boot_table.boot_address = run.settled.bootorg;
}

int place_table_bytes(Run& run, uint8_t* data, int nbytes, bool by_length)
{
    BootTable& table = run.boot_table;
    SectionSpec* spec = table.end_spec ? table.end_spec : run.datapath.current_spec;
    int count = place_data(run, spec, data, nbytes, table.boot_address);
    table.boot_address += static_cast<uint32_t>(by_length ? nbytes : count);
    return count;
}

void boot_section_header(Run& run, int section, uint32_t address, uint32_t size)
{
    BootTable& table = run.boot_table;
    table.boot_state = BOOT_FIELDS;
    ++table.boot_section_count;
    if (device_is_7734(run)) {
        if (!run.options.has_bootstrap) {
            if (table.boot_section_count == 1)
                write_table_header(run, address);
        } else if (table.boot_section_count == 2) {
            // the bootstrap section forms a table of its own, closed before the main one
            boot_table_end(run);
            table.boot_state = BOOT_FIELDS;
            write_table_header(run, address);
        }
    }
    if (!device_is_7734(run))
        fatal(run.diagnostics, "boot table not supported on K7734 Phase 2 device");
    write_section_record(run, section, address, size);
    table.boot_state = BOOT_SECTION;
}

void boot_table_end(Run& run)
{
    BootTable& table = run.boot_table;
    table.boot_state = BOOT_FIELDS;
    table.end_spec = end_marker_spec(run);
    if (device_is_7734(run)) {
        mark(run, BootMark::END_MARKER);
        int fields = run.options.revision >= 2 || run.options.boot.mode == BOOT_MODE_WREN32 ? 2 : 1;
        for (int i = 0; i < fields; ++i)
            write_field(run, 0);
    }
    table.end_spec = nullptr;
    table.boot_state = BOOT_IDLE;
}

}  // namespace khex
