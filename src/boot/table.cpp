#include "boot/table.h"


namespace khex {

namespace {

constexpr uint32_t DELAY_CODE = 0xFFFF;
constexpr uint32_t START_DSP_CODE = 0xFFFE;

bool device_is_7734(const BootContext& boot)
{
    return boot.settled.coff_device == 7734;
}

// One 16-bit field in the target's byte order, placed at the table's address.
void write_field(BootContext& boot, uint32_t value)
{
    std::vector<uint8_t>& field = boot.table.field_buffer;
    field.resize(2 + LOADBUFSIZE);
    uint8_t high = static_cast<uint8_t>(value >> 8);
    uint8_t low = static_cast<uint8_t>(value);
    field[0] = boot.coff.target_big_endian ? high : low;
    field[1] = boot.coff.target_big_endian ? low : high;
    place_table_bytes(boot, field.data(), 2, false);
}

void write_pair(BootContext& boot, uint32_t first, uint32_t second)
{
    write_field(boot, first);
    write_field(boot, second);
}

void write_register_entries(BootContext& boot)
{
    for (const BootEntry& entry : boot.settled.boot_entries) {
        switch (entry.kind) {
        case BOOT_REGISTER:
            if (entry.address >= 0xFFF0 && entry.address <= 0xFFFF)
                report(boot.diagnostics, SEVERITY_WARNING, "register address range 0xFFF0-0xFFFF is reserved");
            write_pair(boot, entry.address, entry.value);
            break;
        case BOOT_DELAY:
            if (entry.value > 0xFFFF)
                report(boot.diagnostics, SEVERITY_ERROR, "delay value %d is too large", static_cast<int>(entry.value));
            write_pair(boot, DELAY_CODE, entry.value);
            break;
        case BOOT_START_DSP:
            if (entry.value > 0xFFFF)
                report(boot.diagnostics, SEVERITY_ERROR, "config value %d is too large", static_cast<int>(entry.value));
            write_pair(boot, START_DSP_CODE, entry.value);
            break;
        default:
            break;  // a register symbol that was not found: counted, not written
        }
    }
}

void mark(BootContext& boot, BootMark::Kind kind, const SectionSpec* spec = nullptr, uint32_t dest = 0, uint32_t size = 0)
{
    boot.table.marks.push_back({kind, boot.table.boot_address, spec, dest, size});
}

// Revision 1: a header only when the entry point is not the first section's
// start; it has the shape of a record of k zero words at the entry point.
void write_table_header(BootContext& boot, uint32_t first_address)
{
    const uint32_t entry = boot.settled.entry_address;
    if (boot.options.revision >= 2) {
        mark(boot, BootMark::HEADER);
        write_pair(boot, entry >> 16, entry & 0xFFFF);
        uint32_t n = static_cast<uint32_t>(boot.settled.boot_entries.size());
        write_pair(boot, n >> 16, n & 0xFFFF);
        write_register_entries(boot);
        return;
    }
    if (entry == first_address)
        return;
    mark(boot, BootMark::HEADER);
    int k = std::max(boot.settled.boot_alignment / 2, 1);
    write_field(boot, static_cast<uint32_t>(k));
    write_pair(boot, entry >> 17, (entry >> 1) & 0xFFFF);
    for (int i = 0; i < k; ++i)
        write_field(boot, 0);
}

void write_section_record(BootContext& boot, int section, uint32_t address, uint32_t size)
{
    const SectionSpec& spec = *boot.cursor.current_spec;
    mark(boot, BootMark::SECTION, &spec, address, size);
    if (boot.options.revision >= 2) {
        write_pair(boot, size >> 16, size & 0xFFFF);
        write_pair(boot, address >> 16, address & 0xFFFF);
        return;
    }
    const SectionHeader& s = boot.coff.sections[section];
    if ((s.s_flags & STYP_TEXT) && (address & 1))
        report(boot.diagnostics, SEVERITY_ERROR,
               "Starting address of section %s is not aligned to an even byte boundary as required for a boot loader "
               "of the requested type",
               spec.name.c_str());
    if (size >= 0x20000)
        report(boot.diagnostics, SEVERITY_ERROR, "section %s exceeds 64k boot table limit", spec.name.c_str());
    // the size in 16-bit words of the bytes the boot buffer places
    uint64_t alignment = static_cast<uint64_t>(boot.settled.boot_alignment);
    uint64_t padded = (uint64_t{size} + alignment - 1) / alignment * alignment;
    write_field(boot, static_cast<uint32_t>(padded / 2));
    write_pair(boot, address >> 17, (address >> 1) & 0xFFFF);
}

// The end marker goes where the boot sections went: with the last one that
// received data. When none did (the table fell outside every range), it
// goes with the last boot-loaded one, on the table's page: never as the data
// of the section whose arrival ends the table, which may lie on another page.
SectionSpec* end_marker_spec(const BootContext& boot)
{
    const std::vector<SectionSpec*>& list = boot.specs.spec_list;
    for (auto it = list.rbegin(); it != list.rend(); ++it)
        if (((*it)->flags & SPEC_BOOT) && boot.received_data(**it))
            return *it;
    for (auto it = list.rbegin(); it != list.rend(); ++it)
        if ((*it)->flags & SPEC_BOOT)
            return *it;
    return boot.cursor.current_spec;
}

}  // namespace

void boot_table_start(BootTable& table, const Settled& settled)
{
    table.boot_address = settled.bootorg;
}

int place_table_bytes(BootContext& boot, uint8_t* data, int nbytes, bool by_length)
{
    BootTable& table = boot.table;
    SectionSpec* spec = table.end_spec ? table.end_spec : boot.cursor.current_spec;
    int count = boot.place(spec, data, nbytes, table.boot_address);
    table.boot_address += static_cast<uint32_t>(by_length ? nbytes : count);
    return count;
}

void boot_section_header(BootContext& boot, int section, uint32_t address, uint32_t size)
{
    BootTable& table = boot.table;
    table.boot_state = BOOT_FIELDS;
    ++table.boot_section_count;
    if (device_is_7734(boot)) {
        if (!boot.options.has_bootstrap) {
            if (table.boot_section_count == 1)
                write_table_header(boot, address);
        } else if (table.boot_section_count == 2) {
            // the bootstrap section forms a table of its own, closed before the main one
            boot_table_end(boot);
            table.boot_state = BOOT_FIELDS;
            write_table_header(boot, address);
        }
    }
    if (!device_is_7734(boot))
        fatal(boot.diagnostics, "boot table not supported on K7734 Phase 2 device");
    write_section_record(boot, section, address, size);
    table.boot_state = BOOT_SECTION;
}

void boot_table_end(BootContext& boot)
{
    BootTable& table = boot.table;
    table.boot_state = BOOT_FIELDS;
    table.end_spec = end_marker_spec(boot);
    if (device_is_7734(boot)) {
        mark(boot, BootMark::END_MARKER);
        int fields = boot.options.revision >= 2 || boot.options.boot.mode == BOOT_MODE_WREN32 ? 2 : 1;
        for (int i = 0; i < fields; ++i)
            write_field(boot, 0);
    }
    table.end_spec = nullptr;
    table.boot_state = BOOT_IDLE;
}

}  // namespace khex
