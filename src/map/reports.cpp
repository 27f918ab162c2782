#include "map/reports.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "driver/run.h"

namespace khex {

void report_range_closed(Run& run, const RomRange& r)
{
    if (!run.options.map_file && !run.options.svg_file && !run.options.json_file)
        return;
    ReportState& reports = run.reports;
    reports.listed.resize(run.specs.spec_list.size());
    std::vector<ContentEntry> contents = range_contents(run, r, reports.listed);
    if (run.options.map_file)
        write_map_range(run, r, contents);
    if (run.options.svg_file || run.options.json_file)
        reports.pictures.push_back({&r, std::move(contents)});
}

LaneFacts lane_facts(const Run& run, const RomRange& r, int i)
{
    LaneFacts lane{i * bits(r.romwidth), (i + 1) * bits(r.romwidth) - 1, device_addressing(run.options.romaddr, r), 0, 0};
    if (lane.device) {
        lane.rom_first = device_address(r, r.origin, run.settled.zero);
        lane.rom_last = device_address(r, r.end, run.settled.zero) + static_cast<uint32_t>(r.romwidth) - 1;
    }
    return lane;
}

void write_report_file(Run& run, FILE* file, const std::string& name, const std::string& text, const char* kind)
{
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    if (!close_pending(run.pending, file) || !written)
        fatal(run.diagnostics, "error writing %s file '%s': %s", kind, name.c_str(), std::strerror(errno));
}

std::string hex8(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%08lx", static_cast<unsigned long>(value));
    return text;
}

}  // namespace khex
