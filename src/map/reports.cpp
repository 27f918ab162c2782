#include "map/reports.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace khex {

// Each report's text is made in a file of its own; the rows name these.
bool map_text(const ReportFacts& facts, std::string& text);
bool picture_text(const ReportFacts& facts, std::string& text);
bool json_text(const ReportFacts& facts, std::string& text);
bool depfile_text(const ReportFacts& facts, std::string& text);

// In the order the files are written at the end of a run; the dependency
// file last, since it names the others.
const ReportRow report_rows[] = {
    {"map", true, FileRole::MAP, "map", "the map file", true, false, true, false, map_text, GROUP_FILES, "file",
     "write a map file"},
    {"mapsvg", false, FileRole::MAP, "map", "the map picture", true, false, true, false, picture_text, GROUP_FILES,
     "file",
     "the ROM layout as an SVG picture"},
    {"mapjson", false, FileRole::MAP, "map", "the JSON report", true, true, true, true, json_text, GROUP_BUILD, "file",
     "the map's facts as JSON for programs"},
    {"depfile", false, FileRole::DEPENDENCY, "dependency", "the dependency file", false, false, false, false,
     depfile_text, GROUP_BUILD, "file", "a Make rule of the files written and read"},
};
const int report_count = static_cast<int>(std::size(report_rows));

bool open_report(ReportState& reports, PendingFiles& pending, const ReportRow& row, const std::string& name)
{
    FILE* stream = open_pending(pending, name, false, row.role);
    if (!stream)
        return false;
    reports.files.resize(static_cast<size_t>(report_count));
    ReportFile& file = reports.files[static_cast<size_t>(&row - report_rows)];
    if (file.file)
        drop_pending(pending, file.file);
    file = ReportFile{stream, name};
    return true;
}

namespace {

template <bool ReportRow::*need>
bool any_open(const ReportState& reports)
{
    for (size_t i = 0; i < reports.files.size(); ++i)
        if (reports.files[i].file && report_rows[i].*need)
            return true;
    return false;
}

}  // namespace

bool reports_need_contents(const ReportState& reports)
{
    return any_open<&ReportRow::needs_contents>(reports);
}

bool reports_need_tallies(const ReportState& reports)
{
    return any_open<&ReportRow::needs_tallies>(reports);
}

void report_range_closed(ReportState& reports, const ReportFacts& facts, const RomRange& r)
{
    if (!reports_need_contents(reports))
        return;
    reports.listed.resize(facts.specs.spec_list.size());
    std::vector<ContentEntry> contents = range_contents(facts, r, reports.listed);
    reports.pictures.push_back({&r, std::move(contents)});
}

void write_reports(ReportState& reports, const ReportFacts& facts, PendingFiles& pending, Diagnostics& d)
{
    for (size_t i = 0; i < reports.files.size(); ++i) {
        ReportFile& report = reports.files[i];
        if (!report.file)
            continue;
        FILE* file = report.file;
        report.file = nullptr;
        std::string text;
        if ((facts.options.list_sections && !report_rows[i].in_listing) || !report_rows[i].write(facts, text)) {
            drop_pending(pending, file);
            continue;
        }
        const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
        if (!close_pending(pending, file) || !written)
            fatal(d, "error writing %s file '%s': %s", report_rows[i].kind_word, report.name.c_str(),
                  std::strerror(errno));
    }
}

LaneFacts lane_facts(const ReportFacts& facts, const RomRange& r, int i)
{
    const bool device = device_addressing(facts.options.romaddr, r);
    LaneFacts lane{i * bits(r.romwidth), (i + 1) * bits(r.romwidth) - 1, file_lane_bits(word_arrangement(facts), r, i),
                   device, 0, 0};
    if (lane.device) {
        lane.rom_first = device_address(r, r.origin, facts.settled.zero);
        lane.rom_last = device_address(r, r.end, facts.settled.zero) + static_cast<uint32_t>(r.romwidth) - 1;
    }
    return lane;
}

std::vector<SetView> set_views(const ReportFacts& facts, const RomRange& r)
{
    std::vector<SetView> views;
    for (size_t k = 1; k < facts.output.sets.size(); ++k) {
        const FileSet& set = facts.output.sets[k];
        if (r.index < set.views.size() && set.views[r.index])
            views.push_back({set.views[r.index], static_cast<int>(k), set.format});
    }
    return views;
}

WordArrangement word_arrangement(const ReportFacts& facts)
{
    return WordArrangement{facts.coff.target_big_endian, facts.settled.order, facts.options.datawidth};
}

std::string hex8(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%08lx", static_cast<unsigned long>(value));
    return text;
}

}  // namespace khex
