// -depfile: one Make rule whose targets are the files the run wrote and whose
// prerequisites are the files it read, for make and Ninja to know when to run
// khex again.
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
// order, the digests' files, then the map file, its picture and the JSON
// report.
std::vector<std::string> targets(const ReportFacts& facts)
{
    std::vector<std::string> names;
    for (const WrittenFile& f : facts.output.written)
        names.push_back(f.range->files[f.file]);
    names.insert(names.end(), facts.values.files_written.begin(), facts.values.files_written.end());
    const std::vector<ReportFile>& files = facts.reports.files;
    for (size_t i = 0; i < files.size(); ++i)
        if (!files[i].name.empty() && report_rows[i].is_target)
            names.push_back(files[i].name);
    return names;
}

}  // namespace

bool depfile_text(const ReportFacts& facts, std::string& text)
{
    const std::vector<std::string> written = targets(facts);
    if (written.empty())
        return false;  // a run that wrote nothing leaves an earlier rule as it was
    std::string rule;
    for (const std::string& name : written) {
        if (!rule.empty())
            rule += ' ';
        rule += escaped(name);
    }
    rule += ':';
    std::vector<std::string> read{facts.coff_name};
    read.insert(read.end(), facts.command_files.begin(), facts.command_files.end());
    for (const Insert& in : facts.inserts.list)
        read.push_back(in.file.name);
    for (const std::string& name : signature_file_names(facts.values))
        read.push_back(name);
    for (const VerifyPair& pair : facts.verify.pairs)
        read.push_back(pair.readback.name);
    for (const std::string& name : read) {
        rule += " \\\n  ";
        rule += escaped(name);
    }
    rule += '\n';
    text = std::move(rule);
    return true;
}

}  // namespace khex
