#include "placement/settle.h"

namespace khex {

namespace {

// Bits 4 to 7 of the file header flags.
int device_from_code(Diagnostics& d, int code)
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
        report(d, SEVERITY_WARNING, "Unknown device: %x", code);
        return 0;
    }
}

}  // namespace

void settle_zero_based(Settled& settled, const ConvOptions& options, Diagnostics& d)
{
    settled.zero = options.zero;
    if (options.zero && !options.image) {
        report(d, SEVERITY_WARNING, "-zero requires -image: ignored");
        settled.zero = false;
    }
}

void settle_device_code(Settled& settled, const ConvOptions& options, const CoffState& coff, Diagnostics& d)
{
    settled.device = options.device;
    settled.boot_alignment = options.boot.alignment;
    settled.bootorg = options.bootorg;
    settled.bootpage = options.bootpage;
    // an ELF file does not say which device it is for: the options do
    settled.coff_device = coff.elf ? options.device : device_from_code(d, (coff.file_flags >> 4) & 0xF);
}

void check_format_widths(const ConvOptions& options, const OutputFormat& format, Diagnostics& d)
{
    if (format.romwidth_option != 0 && options.romwidth_given && options.romwidth != format.romwidth_option)
        fatal(d, "%s format must have a ROM width of %d bits", format.name, bits(format.romwidth_option));
    if (format.memwidth != 0 && options.memwidth != format.memwidth)
        fatal(d, "%s format must have a memory width of %d bits", format.name, bits(format.memwidth));
}

void settle_device(Settled& settled, const ConvOptions& options, Diagnostics& d)
{
    switch (settled.coff_device) {
    case 1:
    case 2:
        settled.device = settled.coff_device;
        if (options.device_given)
            report(d, SEVERITY_WARNING, "-v option ignored for Phase %d", settled.coff_device);
        break;
    case 7734:
        // Revision 1 tables count sections in 16-bit words, so sections are
        // padded to whole words even without a boot-mode word.
        if (options.revision >= 2 || settled.boot_alignment < 2)
            settled.boot_alignment = 2;
        break;
    default:
        fatal(d, "ERROR: Device %d not recognized", settled.coff_device);
    }
}

void settle_boot_origin(Settled& settled, const RangeState& ranges)
{
    if (ranges.rom_list.empty())
        return;
    const RomRange& first = *ranges.rom_list.front();
    if (settled.bootorg == NOT_GIVEN)
        settled.bootorg = first.origin;
    if (settled.bootpage == -1)
        settled.bootpage = first.page;
}

void check_boot_widths(const Settled& settled, const RangeState& ranges, const SpecState& specs, Diagnostics& d)
{
    if (!boot_sections_selected(specs))
        return;
    bool refused = false;
    for (const RomRange* r : ranges.rom_list) {
        if (r->page == settled.bootpage && r->memwidth > 2) {
            report(d, SEVERITY_ERROR,
                   "boot table needs a memory width of at most 16 bits, but %s has a memory width of %d bits",
                   r->name.c_str(), bits(r->memwidth));
            refused = true;
        }
    }
    if (refused)
        fatal(d, "errors prevent conversion");
}

void settle_byte_order(Settled& settled, const ConvOptions& options, const CoffState& coff)
{
    settled.order = options.order != ORDER_NONE ? options.order : coff.target_big_endian ? ORDER_MS : ORDER_LS;
}

void settle_entry_point(Settled& settled, const ConvOptions& options, const SymbolTable& symbols,
                        const CoffState& coff, Diagnostics& d)
{
    settled.entry_address = options.entry_address;
    if (options.has_entry_symbol) {
        uint32_t value;
        if (lookup_symbol(symbols, options.entry_symbol.c_str(), value))
            settled.entry_address = value;
        else
            report(d, SEVERITY_ERROR, "Requested boot table entry point symbol '%s' not found\n",
                   options.entry_symbol.c_str());
    }
    if (settled.entry_address == NOT_GIVEN)
        settled.entry_address = coff.coff_entry_point;
    if (settled.device == 7734 && options.revision < 2 && (settled.entry_address & 1))
        fatal(d,
              "Specified entry point at address 0x%x is not aligned to\n"
              "          an even byte boundary as required for a boot loader\n"
              "          of the requested type",
              settled.entry_address);
}

void settle_boot_entries(Settled& settled, const ConvOptions& options, const SymbolTable& symbols, Diagnostics& d)
{
    settled.boot_entries = options.boot_entries;
    for (BootEntry& entry : settled.boot_entries) {
        if (entry.kind != BOOT_REGISTER_SYMBOL)
            continue;
        uint32_t value;
        if (lookup_symbol(symbols, entry.name.c_str(), value)) {
            entry.value = value;
            entry.kind = BOOT_REGISTER;
            entry.name.clear();
        } else {
            report(d, SEVERITY_ERROR, "Requested -reg_config symbol '%s' not found\n", entry.name.c_str());
        }
    }
}

}  // namespace khex
