#include "boot/table.h"

#include "coff/loader.h"
#include "driver/diagnostics.h"
#include "driver/options.h"
#include "memory/datapath.h"
#include "memory/ranges.h"
#include "memory/specs.h"
#include "memory/translate.h"

namespace khex {

BootTable boot_table;

namespace {

constexpr uint32_t DELAY_CODE = 0xFFFF;
constexpr uint32_t START_DSP_CODE = 0xFFFE;

// A field with room behind it for the data path's memory-word padding.
uint8_t field_buffer[2 + LOADBUFSIZE];

bool device_is_7734()
{
    return translate.coff_device == 7734;
}

// One 16-bit field in the target's byte order, placed at the table's address.
void write_field(uint32_t value)
{
    uint8_t high = static_cast<uint8_t>(value >> 8);
    uint8_t low = static_cast<uint8_t>(value);
    field_buffer[0] = coff.target_big_endian ? high : low;
    field_buffer[1] = coff.target_big_endian ? low : high;
    boot_table.boot_address += static_cast<uint32_t>(place_data(field_buffer, 2, boot_table.boot_address));
}

void write_pair(uint32_t first, uint32_t second)
{
    write_field(first);
    write_field(second);
}

void write_register_entries()
{
    for (const BootEntry& entry : options.boot_entries) {
        switch (entry.kind) {
        case BOOT_REGISTER:
            if (entry.address >= 0xFFF0 && entry.address <= 0xFFFF)
                report(SEVERITY_WARNING, "register address range 0xFFF0-0xFFFF is reserved");
            write_pair(entry.address, entry.value);
            break;
        case BOOT_DELAY:
            if (entry.value > 0xFFFF)
                report(SEVERITY_ERROR, "delay value %d is too large", static_cast<int>(entry.value));
            write_pair(DELAY_CODE, entry.value);
            break;
        case BOOT_START_DSP:
            if (entry.value > 0xFFFF)
                report(SEVERITY_ERROR, "config value %d is too large", static_cast<int>(entry.value));
            write_pair(START_DSP_CODE, entry.value);
            break;
        default:
            break;  // a register symbol that was not found: counted, not written
        }
    }
}

// Revision 1: a header only when the entry point is not the first section's
// start; it has the shape of a record of k zero words at the entry point.
void mark(BootMark::Kind kind, const SectionSpec* spec = nullptr)
{
    boot_table.marks.push_back({kind, boot_table.boot_address, spec});
}

void write_table_header(uint32_t first_address)
{
    const uint32_t entry = options.entry_address;
    if (options.revision >= 2) {
        mark(BootMark::HEADER);
        write_pair(entry >> 16, entry & 0xFFFF);
        uint32_t n = static_cast<uint32_t>(options.boot_entries.size());
        write_pair(n >> 16, n & 0xFFFF);
        write_register_entries();
        return;
    }
    if (entry == first_address)
        return;
    mark(BootMark::HEADER);
    int k = std::max(options.boot.alignment / 2, 1);
    write_field(static_cast<uint32_t>(k));
    write_pair(entry >> 17, (entry >> 1) & 0xFFFF);
    for (int i = 0; i < k; ++i)
        write_field(0);
}

void write_section_record(uint32_t address, uint32_t size)
{
    const SectionSpec& spec = *specs.current_spec;
    mark(BootMark::SECTION, &spec);
    if (options.revision >= 2) {
        write_pair(size >> 16, size & 0xFFFF);
        write_pair(address >> 16, address & 0xFFFF);
        return;
    }
    const SectionHeader& s = coff.sections[coff.current_section];
    if ((s.s_flags & STYP_TEXT) && (address & 1))
        report(SEVERITY_ERROR,
               "Starting address of section %s is not aligned to an even byte boundary as required for a boot loader "
               "of the requested type",
               spec.name.c_str());
    if (size >= 0x20000)
        report(SEVERITY_ERROR, "section %s exceeds 64k boot table limit", spec.name.c_str());
    // the size in 16-bit words of the bytes the boot buffer places
    uint64_t alignment = static_cast<uint64_t>(options.boot.alignment);
    uint64_t padded = (uint64_t{size} + alignment - 1) / alignment * alignment;
    write_field(static_cast<uint32_t>(padded / 2));
    write_pair(address >> 17, (address >> 1) & 0xFFFF);
}

}  // namespace

void reset_boot_table()
{
    boot_table = BootTable{};
}

void boot_table_start()
{
    if (!ranges.rom_list.empty()) {
        const RomRange& first = *ranges.rom_list.front();
        if (options.bootorg == NOT_GIVEN)
            options.bootorg = first.origin;
        if (options.bootpage == -1)
            options.bootpage = first.page;
    }
    boot_table.boot_address = options.bootorg;
}

void boot_section_header(uint32_t address, uint32_t size)
{
    boot_table.boot_state = BOOT_FIELDS;
    ++boot_table.boot_section_count;
    if (device_is_7734()) {
        if (!options.has_bootstrap) {
            if (boot_table.boot_section_count == 1)
                write_table_header(address);
        } else if (boot_table.boot_section_count == 2) {
            // the bootstrap section forms a table of its own, closed before the main one
            boot_table_end();
            boot_table.boot_state = BOOT_FIELDS;
            write_table_header(address);
        }
    }
    if (!device_is_7734())
        fatal("boot table not supported on K7734 Phase 2 device");
    write_section_record(address, size);
    boot_table.boot_state = BOOT_SECTION;
}

void boot_table_end()
{
    boot_table.boot_state = BOOT_FIELDS;
    SectionSpec* saved = specs.current_spec;
    // the marker goes where the boot sections went
    for (auto it = specs.spec_list.rbegin(); it != specs.spec_list.rend(); ++it) {
        if (((*it)->flags & SPEC_BOOT) && (*it)->range) {
            specs.current_spec = *it;
            break;
        }
    }
    if (device_is_7734()) {
        mark(BootMark::END_MARKER);
        int fields = options.revision >= 2 || options.boot.mode == BOOT_MODE_WREN32 ? 2 : 1;
        for (int i = 0; i < fields; ++i)
            write_field(0);
    }
    boot_table.boot_state = BOOT_IDLE;
    specs.current_spec = saved;
}

}  // namespace khex
