#include "memory/translate.h"

#include <cstdio>

#include "boot/table.h"
#include "coff/loader.h"
#include "driver/diagnostics.h"
#include "driver/input.h"
#include "driver/options.h"
#include "memory/ranges.h"
#include "memory/selection.h"
#include "memory/specs.h"
#include "output/formats.h"

namespace khex {

TranslateState translate;

namespace {

// Bits 4 to 7 of the file header flags.
int device_from_code(int code)
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
        report(SEVERITY_WARNING, "Unknown device: %x", code);
        return 0;
    }
}

bool boot_sections_selected()
{
    for (const SectionSpec* spec : specs.spec_list)
        if (spec->section >= 0 && (spec->flags & SPEC_BOOT))
            return true;
    return false;
}

// Every boot-table field is one 16-bit value; memory wider than that would pad
// each field to a whole memory word, and the loader could not read the table.
void check_boot_widths()
{
    if (!boot_sections_selected())
        return;
    bool refused = false;
    for (const RomRange* r : ranges.rom_list) {
        if (r->page == options.bootpage && r->memwidth > 2) {
            report(SEVERITY_ERROR,
                   "boot table needs a memory width of at most 16 bits, but %s has a memory width of %d bits",
                   r->name.c_str(), bits(r->memwidth));
            refused = true;
        }
    }
    if (refused)
        fatal("errors prevent conversion");
}

}  // namespace

void reset_translate()
{
    translate = TranslateState{};
}

bool start_translation()
{
    translate.coff_device = device_from_code((coff.file_flags >> 4) & 0xF);

    const OutputFormat& format = selected_format();
    if (format.romwidth_option != 0 && options.romwidth_given && options.romwidth != format.romwidth_option)
        fatal("%s format must have a ROM width of %d bits", format.name, bits(format.romwidth_option));
    if (format.memwidth != 0 && options.memwidth != format.memwidth)
        fatal("%s format must have a memory width of %d bits", format.name, bits(format.memwidth));
    switch (translate.coff_device) {
    case 1:
        options.device = 1;
        if (options.device_given)
            report(SEVERITY_WARNING, "-v option ignored for Phase 1");
        break;
    case 2:
        options.device = 2;
        if (options.device_given)
            report(SEVERITY_WARNING, "-v option ignored for Phase 2");
        break;
    case 7734:
        // Revision 1 tables count sections in 16-bit words, so sections are
        // padded to whole words even without a boot-mode word.
        if (options.revision >= 2 || options.boot.alignment < 2)
            options.boot.alignment = 2;
        break;
    default:
        fatal("ERROR: Device %d not recognized", translate.coff_device);
    }

    boot_table_start();
    select_sections();
    check_boot_widths();
    if (options.order == ORDER_NONE)
        options.order = coff.target_big_endian ? ORDER_MS : ORDER_LS;
    if (specs.selected_count == 0)
        fatal("no initialized sections in %s", input.coff_name.c_str());
    if (!options.quiet)
        std::printf("Translating %s to %s format...\n", input.coff_name.c_str(), selected_format().name);
    ranges.current_range = ranges.rom_list.empty() ? nullptr : ranges.rom_list.front();
    return true;
}

}  // namespace khex
