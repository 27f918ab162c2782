#include "memory/translate.h"

#include "driver/run.h"

namespace khex {

namespace {

// Bits 4 to 7 of the file header flags.
int device_from_code(Run& run, int code)
{
    switch (code) {
    case 1: return 1;
    case 2: return 2;
    case 4:
    case 6:
    case 9:
    case 10:
    case 12:
    case 14: return 7734;
    default:
        report(run.diagnostics, SEVERITY_WARNING, "Unknown device: %x", code);
        return 0;
    }
}

// The format's own rules on widths (ZQ-Tagged, Binary).
void check_format_widths(Run& run)
{
    const ConvOptions& options = run.options;
    const OutputFormat& format = selected_format(run.options);
    if (format.romwidth_option != 0 && options.romwidth_given && options.romwidth != format.romwidth_option)
        fatal(run.diagnostics, "%s format must have a ROM width of %d bits", format.name, bits(format.romwidth_option));
    if (format.memwidth != 0 && options.memwidth != format.memwidth)
        fatal(run.diagnostics, "%s format must have a memory width of %d bits", format.name, bits(format.memwidth));
}

void settle_device(Run& run)
{
    Settled& settled = run.settled;
    switch (settled.coff_device) {
    case 1:
    case 2:
        settled.device = settled.coff_device;
        if (run.options.device_given)
            report(run.diagnostics, SEVERITY_WARNING, "-v option ignored for Phase %d", settled.coff_device);
        break;
    case 7734:
        // Revision 1 tables count sections in 16-bit words, so sections are
        // padded to whole words even without a boot-mode word.
        if (run.options.revision >= 2 || settled.boot_alignment < 2)
            settled.boot_alignment = 2;
        break;
    default:
        fatal(run.diagnostics, "ERROR: Device %d not recognized", settled.coff_device);
    }
}

// The boot table goes to the first range when -bootorg does not say where.
void settle_boot_origin(Run& run)
{
    Settled& settled = run.settled;
    if (run.ranges.rom_list.empty())
        return;
    const RomRange& first = *run.ranges.rom_list.front();
    if (settled.bootorg == NOT_GIVEN)
        settled.bootorg = first.origin;
    if (settled.bootpage == -1)
        settled.bootpage = first.page;
}

// Every boot-table field is one 16-bit value; memory wider than that would pad
// each field to a whole memory word, and the loader could not read the table.
void check_boot_widths(Run& run)
{
    if (!boot_sections_selected(run.specs))
        return;
    bool refused = false;
    for (const RomRange* r : run.ranges.rom_list) {
        if (r->page == run.settled.bootpage && r->memwidth > 2) {
            report(run.diagnostics, SEVERITY_ERROR,
                   "boot table needs a memory width of at most 16 bits, but %s has a memory width of %d bits",
                   r->name.c_str(), bits(r->memwidth));
            refused = true;
        }
    }
    if (refused)
        fatal(run.diagnostics, "errors prevent conversion");
}

}  // namespace

void settle_zero_based(Run& run)
{
    run.settled.zero = run.options.zero;
    if (run.options.zero && !run.options.image) {
        report(run.diagnostics, SEVERITY_WARNING, "-zero requires -image: ignored");
        run.settled.zero = false;
    }
}

void start_translation(Run& run)
{
    Settled& settled = run.settled;
    settled.device = run.options.device;
    settled.boot_alignment = run.options.boot.alignment;
    settled.bootorg = run.options.bootorg;
    settled.bootpage = run.options.bootpage;
    settled.coff_device = device_from_code(run, (run.coff.file_flags >> 4) & 0xF);
    check_format_widths(run);
    settle_device(run);
    settle_boot_origin(run);
    boot_table_start(run);
    select_sections(run.specs, run.diagnostics, run.options, run.settled, run.coff, run.input.coff_name);
    check_boot_widths(run);
    settled.order = run.options.order != ORDER_NONE ? run.options.order
                    : run.coff.target_big_endian   ? ORDER_MS
                                                   : ORDER_LS;
    if (run.specs.selected_count == 0)
        fatal(run.diagnostics, "no initialized sections in %s", run.input.coff_name.c_str());
    if (!run.options.quiet)
        std::fprintf(run.diagnostics.console.out, "Translating %s to %s format...\n", run.input.coff_name.c_str(),
                     selected_format(run.options).name);
    start_placement(run);
}

void settle_entry_point(Run& run)
{
    const ConvOptions& options = run.options;
    Settled& settled = run.settled;
    settled.entry_address = options.entry_address;
    if (options.has_entry_symbol) {
        uint32_t value;
        if (lookup_symbol(run.symbols, options.entry_symbol.c_str(), value))
            settled.entry_address = value;
        else
            report(run.diagnostics, SEVERITY_ERROR, "Requested boot table entry point symbol '%s' not found\n",
                   options.entry_symbol.c_str());
    }
    if (settled.entry_address == NOT_GIVEN)
        settled.entry_address = run.coff.coff_entry_point;
    if (settled.device == 7734 && options.revision < 2 && (settled.entry_address & 1))
        fatal(run.diagnostics,
              "Specified entry point at address 0x%x is not aligned to\n"
              "          an even byte boundary as required for a boot loader\n"
              "          of the requested type",
              settled.entry_address);
}

void settle_boot_entries(Run& run)
{
    run.settled.boot_entries = run.options.boot_entries;
    for (BootEntry& entry : run.settled.boot_entries) {
        if (entry.kind != BOOT_REGISTER_SYMBOL)
            continue;
        uint32_t value;
        if (lookup_symbol(run.symbols, entry.name.c_str(), value)) {
            entry.value = value;
            entry.kind = BOOT_REGISTER;
            entry.name.clear();
        } else {
            report(run.diagnostics, SEVERITY_ERROR, "Requested -reg_config symbol '%s' not found\n", entry.name.c_str());
        }
    }
}

}  // namespace khex
