#include "memory/ranges.h"

#include "base/paths.h"
#include "base/text.h"
#include "coff/loader.h"

namespace khex {

namespace {

RomRange new_range(const char* name, int32_t page)
{
    RomRange r{};
    r.name = std::string(name).substr(0, 31);
    r.origin = UNSET;
    r.end = UNSET;
    r.page = page;
    r.length = UNSET;
    r.romwidth = -1;
    r.memwidth = -1;
    return r;
}

// Image mode writes every range whole, so it needs both bounds. A range that was
// completed before -image was seen is checked again when ranges are resolved.
void check_image_bounds(Diagnostics& d, RomRange& r)
{
    r.image_checked = true;
    if (!r.origin_given)
        report(d, SEVERITY_ERROR, "origin missing on %s (required for -image)", r.name.c_str());
    if (!r.length_given)
        report(d, SEVERITY_ERROR, "length missing on %s (required for -image)", r.name.c_str());
}

// Completes a range and appends it to the list.
void complete_range(RangeState& ranges, Diagnostics& d, bool image, RomRange& r)
{
    r.origin_given = r.origin != UNSET;
    r.length_given = r.length != UNSET;
    if (r.origin == UNSET) {
        r.origin = 0;
        if (image)
            report(d, SEVERITY_ERROR, "origin missing on %s (required for -image)", r.name.c_str());
    }
    r.image_checked = image;
    if (r.length == UNSET) {
        r.end = 0xFFFFFF;
        r.length = r.end - r.origin + 1;
        if (image)
            report(d, SEVERITY_ERROR, "length missing on %s (required for -image)", r.name.c_str());
    } else {
        // A length of 0 is invalid also at origin 0, where the end would not wrap below it.
        r.end = r.origin + r.length - 1;
        r.length_accepted = r.length != 0 && r.end >= r.origin;
        if (!r.length_accepted)
            report(d, SEVERITY_ERROR, "invalid length on %s", r.name.c_str());
    }

    if (!ranges.rom_list.empty()) {
        const RomRange& last = *ranges.rom_list.back();
        if (last.page > r.page || (last.page == r.page && last.end > r.origin))
            report(d, SEVERITY_ERROR, "memory ranges %s and %s out of order", last.name.c_str(),
                   r.name.c_str());
    }
    r.index = ranges.rom_list.size();
    ranges.rom_list.push_back(&r);
}

void add_default_range(RangeState& ranges, Diagnostics& d, const ConvOptions& options, const char* name,
                       int32_t page)
{
    RomRange& r = ranges.store.emplace_back(new_range(name, page));
    r.origin = 0;
    r.end = 0xFFFFFF;
    r.length = 0x1000000;
    r.romwidth = options.romwidth;
    r.memwidth = options.memwidth;
    complete_range(ranges, d, options.image, r);
    r.length_accepted = false;  // khex chose it: nothing the user could change
}

// What resolving the ranges works with.
struct Resolver {
    RangeState& ranges;
    Diagnostics& d;
    const ConvOptions& options;
    const FormatRules& format;
    const std::string& coff_name;
};

// Name of an output file that neither the ROMS directive nor -o supplied: the
// COFF file's base name with the format's letter, the range's number when
// there are several, and the file's number.
std::string default_output_name(const Resolver& in, int range_index, bool several_ranges, int file_index)
{
    return default_file_name(in.coff_name, in.format.extension, range_index, several_ranges, file_index);
}

// Assigns the range's output files; false when its widths were refused.
bool assign_files(const Resolver& in, RomRange& r, size_t position)
{
    Diagnostics& d = in.d;
    const int32_t mem = r.memwidth;
    const int32_t rom = r.romwidth;
    if ((mem > rom && mem % rom != 0) || (mem < rom && rom % mem != 0))
        fatal(d, "memwidth(%d) not a factor of romwidth(%d)", bits(mem), bits(rom));
    const int32_t needed = mem > rom ? mem / rom : 1;
    if (needed > MAX_LANES) {
        report(d, SEVERITY_ERROR,
               "%s needs %d output files for a memory width of %d bits and a ROM width of %d bits (at most %d)",
               r.name.c_str(), needed, bits(mem), bits(rom), MAX_LANES);
        r.file_count = 0;
        return false;
    }
    bool widths_accepted = true;
    // Each chunk the loader hands on must split into whole memory words and lanes.
    if (!divides_load_buffer(mem) || !divides_load_buffer(rom)) {
        report(d, SEVERITY_ERROR, "widths of %s (memory %d bits, ROM %d bits) do not divide the %d-byte load buffer",
               r.name.c_str(), bits(mem), bits(rom), LOADBUFSIZE);
        widths_accepted = false;
    }
    const FormatRules& format = in.format;
    if (format.widest_operation != 0 && rom > format.widest_operation) {
        report(d, SEVERITY_ERROR, "ROM width of %d bits of %s is too wide for %s records (at most %d bits)",
               bits(rom), r.name.c_str(), format.name, bits(format.widest_operation));
        widths_accepted = false;
    }

    if (r.file_count > needed)
        report(d, SEVERITY_WARNING, "too many output files for %s (%d given, %d used)", r.name.c_str(),
               r.file_count, needed);
    if (r.file_count < needed) {
        if (r.file_count != 0)
            report(d, SEVERITY_ERROR, "not enough output files for %s (%d given, %d needed)", r.name.c_str(),
                   r.file_count, needed);
        RangeState& ranges = in.ranges;
        const std::vector<std::string>& given = in.options.output_names;
        bool several = position != 0 || position + 1 < ranges.rom_list.size();
        for (int32_t i = r.file_count; i < needed; ++i) {
            if (ranges.output_names_used < given.size())
                r.files.push_back(given[ranges.output_names_used++]);
            else
                r.files.push_back(default_output_name(in, static_cast<int>(position), several, i));
        }
    }
    r.file_count = needed;
    return widths_accepted;
}

// The range's last word is written whole, so its end moves up to the word's
// end: say so for a length the user wrote, since the ROMS directive says
// otherwise.
void warn_about_split_words(const RangeState& ranges, Diagnostics& d)
{
    for (const RomRange* r : ranges.rom_list)
        if (r->length_accepted && r->length % static_cast<uint32_t>(r->memwidth) != 0)
            report(d, SEVERITY_WARNING, "range '%s' length 0x%lx is not a whole number of %d-bit memory words",
                   r->name.c_str(), static_cast<unsigned long>(r->length), bits(r->memwidth));
}

}  // namespace

const RomRange* range_named(const RangeState& ranges, const std::string& name, std::string& error)
{
    int named = 0;
    const RomRange* found = nullptr;
    std::string names, folded_match;
    for (const RomRange* r : ranges.rom_list) {
        if (r->name == name) {
            found = r;
            ++named;
        }
        names += (names.empty() ? "" : ", ") + r->name;
        if (folded_match.empty() && same_folded(r->name, name))
            folded_match = r->name;
    }
    if (named == 1)
        return found;
    if (named == 0 && !folded_match.empty())
        error = "no range named '" + name + "' (ranges: " + names + "; '" + folded_match + "' differs only in case)";
    else if (named == 0)
        error = "no range named '" + name + "' (ranges: " + names + ")";
    else
        error = std::to_string(named) + " ranges are named '" + name + "'";
    return nullptr;
}

std::string default_file_name(const std::string& coff_name, const std::string& extension, int range_index,
                              bool several_ranges, int file_index)
{
    std::string ext = extension;
    if (several_ranges)
        ext += std::to_string(range_index);
    ext += std::to_string(file_index);
    return set_extension(split_path(coff_name).base, ext, true);
}

int bits(int32_t bytes)
{
    return static_cast<int>(static_cast<uint32_t>(bytes) * 8u);
}

const RomRange* next_range(const RangeState& ranges, const RomRange* r)
{
    const auto& list = ranges.rom_list;
    return r->index + 1 < list.size() ? list[r->index + 1] : nullptr;
}

bool device_addressing(bool romaddr, const RomRange& r)
{
    return romaddr && r.romwidth < r.memwidth;
}

uint32_t device_address(const RomRange& r, uint32_t address, bool zero)
{
    if (zero)
        address -= r.origin;
    return address / static_cast<uint32_t>(r.memwidth) * static_cast<uint32_t>(r.romwidth);
}

void roms_begin(RangeState& ranges, Diagnostics& d)
{
    ranges.roms_page = 0;
    if (!ranges.rom_list.empty())
        report(d, SEVERITY_ERROR, "ROMS directive redefined");
    ranges.defining = nullptr;
}

void roms_set_page(RangeState& ranges, uint32_t page)
{
    ranges.roms_page = static_cast<int32_t>(page);
}

void range_begin(RangeState& ranges, const char* name)
{
    ranges.defining = &ranges.store.emplace_back(new_range(name, ranges.roms_page));
}

void range_origin(RangeState& ranges, Diagnostics& d, uint32_t value)
{
    RomRange* r = ranges.defining;
    if (!r)
        return;
    if (r->origin != UNSET)
        report(d, SEVERITY_ERROR, "origin redefined for %s", r->name.c_str());
    r->origin = value;
}

void range_length(RangeState& ranges, Diagnostics& d, uint32_t value)
{
    RomRange* r = ranges.defining;
    if (!r)
        return;
    if (r->length != UNSET)
        report(d, SEVERITY_ERROR, "length redefined for %s", r->name.c_str());
    r->length = value;
}

void range_romwidth(RangeState& ranges, Diagnostics& d, uint32_t value)
{
    RomRange* r = ranges.defining;
    if (!r)
        return;
    if (r->romwidth != -1)
        report(d, SEVERITY_ERROR, "width redefined for %s", r->name.c_str());
    if (value % 8 == 0 && is_power_of_two(value))
        r->romwidth = static_cast<int32_t>(value / 8);
    else
        report(d, SEVERITY_WARNING, "illegal width of %d specified for %s", static_cast<int>(value), r->name.c_str());
}

void range_memwidth(RangeState& ranges, Diagnostics& d, uint32_t value)
{
    RomRange* r = ranges.defining;
    if (!r)
        return;
    if (r->memwidth != -1)
        report(d, SEVERITY_ERROR, "memory width redefined for %s", r->name.c_str());
    if (value > 16)
        report(d, SEVERITY_WARNING, "memwidth(%ld) is greater than target width(%d)", static_cast<long>(value), 16);
    if (value % 8 == 0 && is_power_of_two(value))
        r->memwidth = static_cast<int32_t>(value / 8);
    else
        report(d, SEVERITY_WARNING, "illegal memory width of %d specified for %s", static_cast<int>(value),
               r->name.c_str());
}

void range_fill(RangeState& ranges, Diagnostics& d, uint32_t value)
{
    RomRange* r = ranges.defining;
    if (!r)
        return;
    if (r->fill_given)
        report(d, SEVERITY_ERROR, "fill redefined for %s", r->name.c_str());
    if (value & 0xFFFF0000) {
        value &= 0xFFFF;
        report(d, SEVERITY_WARNING, "fill value truncated to %d bytes: %0*lx", 2, 4, static_cast<unsigned long>(value));
    }
    r->fill_given = true;
    r->fill = value;
}

void range_add_file(RangeState& ranges, const char* name)
{
    RomRange* r = ranges.defining;
    if (!r)
        return;
    r->files.emplace_back(name);
    ++r->file_count;
}

void range_end(RangeState& ranges, Diagnostics& d, bool image)
{
    RomRange* r = ranges.defining;
    if (!r)
        return;
    complete_range(ranges, d, image, *r);
    ranges.defining = nullptr;
}

void resolve_memory(RangeState& ranges, Diagnostics& d, const ConvOptions& options, const FormatRules& format,
                    const std::string& coff_name)
{
    const Resolver in{ranges, d, options, format, coff_name};
    if (ranges.rom_list.empty()) {
        if (options.image)
            report(d, SEVERITY_ERROR, "-image requires ROMS directive");
        add_default_range(ranges, d, options, "*DEFAULT*", 0);
        add_default_range(ranges, d, options, "*DEFAULT PAGE 1*", 1);
    }
    const int unit = format.unit;
    bool widths_accepted = true;
    for (size_t i = 0; i < ranges.rom_list.size(); ++i) {
        RomRange& r = *ranges.rom_list[i];
        if (options.image && !r.image_checked)
            check_image_bounds(d, r);
        if (r.romwidth == -1)
            r.romwidth = options.romwidth;
        if (r.romwidth < unit)
            r.romwidth = unit;
        if (r.memwidth == -1)
            r.memwidth = options.memwidth;
        if (r.memwidth < unit)
            r.memwidth = unit;
        if (!r.fill_given)
            r.fill = options.fill;
        widths_accepted &= assign_files(in, r, i);
    }
    // after the width checks, so that a run they stop never shows it
    if (widths_accepted)
        warn_about_split_words(ranges, d);
}

}  // namespace khex
