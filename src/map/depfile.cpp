// -depfile: one Make rule whose targets are the files the run wrote and whose
// prerequisites are the files it read, for make and Ninja to know when to run
// khex again.
#include "driver/run.h"
#include "map/reports.h"

namespace khex {

namespace {

// Make's escapes: a blank as "\ ", "$" as "$$", "#" as "\#".
std::string escaped(const std::string& name)
{
    std::string out;
    for (char c : name) {
        if (c == ' ' || c == '#')
            out += '\\';
        else if (c == '$')
            out += '$';
        out += c;
    }
    return out;
}

// The files the run wrote: the ranges' output files in range order and file
// order, then the map file, its picture and the JSON report.
std::vector<std::string> targets(const Run& run)
{
    std::vector<std::string> names;
    for (const WrittenFile& f : run.output.written)
        names.push_back(f.range->files[f.file]);
    const ConvOptions& o = run.options;
    if (o.map_file)
        names.push_back(o.map_name);
    if (o.svg_file)
        names.push_back(o.svg_name);
    if (o.json_file)
        names.push_back(o.json_name);
    return names;
}

}  // namespace

void write_depfile(Run& run)
{
    FILE* file = run.options.depfile;
    if (!file)
        return;
    const std::vector<std::string> written = targets(run);
    if (written.empty()) {
        drop_pending(run.pending, file);  // a run that wrote nothing leaves an earlier rule as it was
        return;
    }
    std::string rule;
    for (const std::string& name : written) {
        if (!rule.empty())
            rule += ' ';
        rule += escaped(name);
    }
    rule += ':';
    std::vector<std::string> read{run.input.coff_name};
    read.insert(read.end(), run.input.command_files.begin(), run.input.command_files.end());
    for (const std::string& name : read) {
        rule += " \\\n  ";
        rule += escaped(name);
    }
    rule += '\n';
    write_report_file(run, file, run.options.depfile_name, rule, "dependency");
}

}  // namespace khex
