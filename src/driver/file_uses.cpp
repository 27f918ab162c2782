#include "driver/file_uses.h"

#include <string>
#include <unordered_map>
#include <vector>

#include "driver/run.h"
#include "platform/platform.h"

namespace khex {

namespace {

struct FileUse {
    std::string name;
    std::string use;  // "output file 0 of range 'lo'", "the map file", ...
    bool written;     // an output: inputs may be named twice
};

std::vector<FileUse> uses_of_the_run(const Run& run)
{
    std::vector<FileUse> uses;
    // a verify run writes no output file: a read-back may be one
    const bool outputs_written = run.verify.pairs.empty();
    for (const RomRange* r : run.ranges.rom_list)
        for (int i = 0; i < r->file_count; ++i)
            uses.push_back({r->files[i], "output file " + std::to_string(i) + " of range '" + r->name + "'",
                            outputs_written});
    for (const AlsoSet& set : run.also.sets)
        for (const RomRange& v : set.views)
            for (int i = 0; i < v.file_count; ++i)
                uses.push_back({v.files[static_cast<size_t>(i)],
                                "output file " + std::to_string(i) + " of range '" + v.name + "' of -also '" +
                                    set.text + "'",
                                outputs_written});
    const std::vector<ReportFile>& reports = run.reports.files;
    for (size_t i = 0; i < reports.size(); ++i)
        if (reports[i].file)
            uses.push_back({reports[i].name, report_rows[i].use, true});
    for (const std::string& name : digest_file_names(run.values))
        uses.push_back({name, "a file of -digest", outputs_written});
    uses.push_back({run.input.coff_name, "the COFF file", false});
    for (const std::string& name : signature_file_names(run.values))
        uses.push_back({name, "a file -signature reads", false});
    for (const Insert& in : run.inserts.list)
        if (in.file.file)
            uses.push_back({in.file.name, "an inserted file", false});
    for (const VerifyPair& pair : run.verify.pairs)
        if (pair.readback.file)
            uses.push_back({pair.readback.name, "a read-back", false});
    for (const std::string& name : run.input.command_files)
        uses.push_back({name, "a command file", false});
    return uses;
}

}  // namespace

bool check_declared_outputs(Run& run)
{
    std::vector<std::string> written;
    for (const WrittenFile& f : run.output.written)
        written.push_back(f.range->files[static_cast<size_t>(f.file)]);
    const std::vector<ReportFile>& reports = run.reports.files;
    for (size_t i = 0; i < reports.size(); ++i)
        if (!reports[i].name.empty() && report_rows[i].is_target)
            written.push_back(reports[i].name);
    written.insert(written.end(), run.values.files_written.begin(), run.values.files_written.end());
    std::unordered_map<std::string, bool> declared;  // identity -> written
    for (const std::string& name : run.options.outputs)
        declared.emplace(file_identity(name), false);
    bool ok = true;
    for (const std::string& name : written) {
        auto it = declared.find(file_identity(name));
        if (it == declared.end()) {
            report(run.diagnostics, SEVERITY_ERROR, "file '%s' is written but -outputs does not declare it",
                   name.c_str());
            ok = false;
        } else {
            it->second = true;
        }
    }
    for (const std::string& name : run.options.outputs) {
        if (!declared[file_identity(name)]) {
            report(run.diagnostics, SEVERITY_ERROR, "file '%s' is declared by -outputs but not written", name.c_str());
            ok = false;
        }
    }
    return ok;
}

void check_file_uses(Run& run)
{
    std::unordered_map<std::string, size_t> first_use;  // file identity -> index into uses
    std::vector<FileUse> uses = uses_of_the_run(run);
    for (size_t i = 0; i < uses.size(); ++i) {
        if (file_kind(uses[i].name) == FileKind::OTHER)
            continue;  // a device such as /dev/null may take any number of files
        auto [seen, added] = first_use.emplace(file_identity(uses[i].name), i);
        if (added)
            continue;
        const FileUse& earlier = uses[seen->second];
        if (earlier.written || uses[i].written)
            report(run.diagnostics, SEVERITY_ERROR, "file '%s' is %s and %s", earlier.name.c_str(), earlier.use.c_str(),
                   uses[i].use.c_str());
    }
}

}  // namespace khex
