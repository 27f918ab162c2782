#include "driver/lot.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/text.h"
#include "driver/run.h"
#include "memory/digests.h"
#include "platform/platform.h"

namespace khex {

namespace {

// The largest lot file khex reads.
constexpr long MAX_LOT_FILE = 64L << 20;

// -lot FILE[,first=ID][,count=N][,name=PATTERN] as given.
struct LotRequest {
    std::string file, first, pattern;
    bool count_given = false;
    uint64_t count = 0;
};

LotRequest read_lot_request(Diagnostics& d, const std::string& text)
{
    const std::vector<std::string> parts = split_commas(text);
    LotRequest request;
    request.file = parts[0];
    if (request.file.empty())
        fatal(d, "-lot '%s': no lot file", text.c_str());
    for (size_t i = 1; i < parts.size(); ++i) {
        const size_t equals = parts[i].find('=');
        const std::string key = folded(parts[i].substr(0, equals));
        const std::string value = equals == std::string::npos ? "" : parts[i].substr(equals + 1);
        if (equals == std::string::npos || (key != "first" && key != "count" && key != "name"))
            fatal(d, "-lot '%s': unknown field '%s' (fields: first=, count=, name=)", text.c_str(), parts[i].c_str());
        if (key == "first") {
            request.first = value;
        } else if (key == "name") {
            request.pattern = value;
        } else {
            char* end = nullptr;
            errno = 0;
            request.count = std::strtoull(value.c_str(), &end, 0);
            if (value.empty() || *end || errno || request.count == 0)
                fatal(d, "-lot '%s': count= takes a number of units, at least 1", text.c_str());
            request.count_given = true;
        }
    }
    return request;
}

std::string read_whole_file(Diagnostics& d, const std::string& name)
{
    FILE* f = std::fopen(name.c_str(), "rb");
    if (!f)
        fatal(d, "cannot open lot file '%s': %s", name.c_str(), std::strerror(errno));
    std::string text;
    char block[65536];
    size_t n;
    while ((n = std::fread(block, 1, sizeof block, f)) > 0) {
        text.append(block, n);
        if (static_cast<long>(text.size()) > MAX_LOT_FILE) {
            std::fclose(f);
            fatal(d, "lot file '%s' is larger than %ld MiB", name.c_str(), MAX_LOT_FILE >> 20);
        }
    }
    const bool failed = std::ferror(f);
    std::fclose(f);
    if (failed)
        fatal(d, "cannot read lot file '%s'", name.c_str());
    return text;
}

// -lotdelta FILE[,format=hex|list] as given: the name (with %i a file for
// each unit, %l for each lane file) and the format.
struct DeltaRequest {
    std::string pattern;
    bool hex = true;
};

DeltaRequest read_delta_request(Diagnostics& d, const std::string& text)
{
    const std::vector<std::string> parts = split_commas(text);
    DeltaRequest request{parts[0], true};
    if (request.pattern.empty())
        fatal(d, "-lotdelta '%s': no file", text.c_str());
    for (size_t i = 1; i < parts.size(); ++i) {
        const std::string field = folded(parts[i]);
        if (field == "format=hex" || field == "format=list")
            request.hex = field == "format=hex";
        else
            fatal(d, "-lotdelta '%s': unknown field '%s' (format=hex or format=list)", text.c_str(), parts[i].c_str());
    }
    for (size_t i = 0; i < request.pattern.size(); ++i)
        if (request.pattern[i] == '%' && (i + 1 == request.pattern.size() || !std::strchr("il%", request.pattern[++i])))
            fatal(d, "-lotdelta %s: unknown token (tokens: %%i, %%l, %%%%)", request.pattern.c_str());
    return request;
}

std::string delta_name(const std::string& pattern, const std::string& id, const std::string& lane)
{
    std::string out;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%' || i + 1 == pattern.size()) {
            out += pattern[i];
            continue;
        }
        const char token = pattern[++i];
        out += token == 'i' ? id : token == 'l' ? lane : std::string(1, token);
    }
    return out;
}

// The delta files: each unit's bytes of each lane file, in the files the
// pattern names, pending with the lot's other files.
void write_delta_files(Run& run, const DeltaRequest& request, const LotShared& shared)
{
    Diagnostics& d = run.diagnostics;
    std::vector<std::pair<std::string, std::string>> files;  // name, text; in the order first named
    for (const LotShared::UnitDelta& unit : shared.deltas) {
        if (request.hex && unit.lanes.size() > 1 && request.pattern.find("%l") == std::string::npos)
            fatal(d, "-lotdelta %s: Intel hex of %lu lane files needs %%l in the name, a file for each",
                  request.pattern.c_str(), static_cast<unsigned long>(unit.lanes.size()));
        for (const DeltaLane& lane : unit.lanes) {
            const std::string name = delta_name(request.pattern, unit.unit->id, lane.name);
            auto it = std::find_if(files.begin(), files.end(), [&](const auto& f) { return f.first == name; });
            if (it == files.end())
                it = files.insert(files.end(), {name, ""});
            it->second += request.hex ? delta_intel(lane) : delta_list(unit.unit->id, lane);
        }
    }
    for (const auto& [name, text] : files) {
        if (!make_folders(run.pending, name))
            fatal(d, "cannot make the folder of '%s': %s", name.c_str(), std::strerror(errno));
        FILE* f = open_pending(run.pending, name, false, FileRole::OUTPUT);
        if (!f)
            fatal(d, "cannot open delta file '%s': %s", name.c_str(), std::strerror(errno));
        if (std::fputs(text.c_str(), f) < 0 || !close_pending(run.pending, f))
            fatal(d, "error writing delta file '%s': %s", name.c_str(), std::strerror(errno));
    }
}

// Checks a name pattern's tokens; %i is needed when the lot has more than
// one unit, or their files would take one name.
void check_pattern(Diagnostics& d, const std::string& pattern, size_t units)
{
    bool has_id = false;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%')
            continue;
        const char token = i + 1 < pattern.size() ? pattern[++i] : '\0';
        if (!std::strchr("ifnrk%", token) || token == '\0')
            fatal(d, "-lot name=%s: unknown token '%%%c' (tokens: %%i, %%f, %%n, %%r, %%k, %%%%)", pattern.c_str(),
                  token);
        has_id |= token == 'i';
    }
    if (units > 1 && !has_id)
        fatal(d, "-lot: %lu units need name= with %%i, so that each writes files of its own%s",
              static_cast<unsigned long>(units), pattern.empty() ? "" : (" (name=" + pattern + ")").c_str());
}

// The log: the lines of the ids issued, by id.
struct LotLog {
    std::string name;
    FILE* file = nullptr;
    std::unordered_map<std::string, unsigned> issued;
};

// Opens (or makes) the log and holds a lock on it until the run ends; an id
// of the chosen units already in it is an ERROR naming its line.
void open_lot_log(Diagnostics& d, LotLog& log, const std::vector<const LotUnit*>& units)
{
    log.file = std::fopen(log.name.c_str(), "a+b");
    if (!log.file)
        fatal(d, "cannot open lot log '%s': %s", log.name.c_str(), std::strerror(errno));
    if (!lock_open_file(log.file))
        fatal(d, "cannot lock lot log '%s': %s", log.name.c_str(), std::strerror(errno));
    std::rewind(log.file);
    std::string line;
    unsigned number = 0;
    for (int c; (c = std::fgetc(log.file)) != EOF;) {
        if (c != '\n') {
            line += static_cast<char>(c);
            continue;
        }
        ++number;
        log.issued.emplace(line.substr(0, line.find('\t')), number);
        line.clear();
    }
    if (std::ferror(log.file))
        fatal(d, "cannot read lot log '%s'", log.name.c_str());
    for (const LotUnit* u : units)
        if (auto it = log.issued.find(u->id); it != log.issued.end())
            report(d, SEVERITY_ERROR, "unit %s was issued before: %s:%u", u->id.c_str(), log.name.c_str(), it->second);
}

std::string sha256_of_file(const std::string& path, bool& ok)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    ok = f != nullptr;
    if (!f)
        return "";
    Sha256 sha;
    sha256_start(sha);
    std::vector<uint8_t> block(1 << 18);
    size_t n;
    while ((n = std::fread(block.data(), 1, block.size(), f)) > 0)
        sha256_update(sha, block.data(), n);
    ok = !std::ferror(f);
    std::fclose(f);
    uint8_t digest[32];
    sha256_finish(sha, digest);
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (uint8_t b : digest) {
        hex += digits[b >> 4];
        hex += digits[b & 15];
    }
    return hex;
}

// The log's lines of the lot: each unit's id, then each file's name and
// SHA-256, tab-separated; worked out before the files are committed.
std::string log_lines(Diagnostics& d, const LotShared& shared)
{
    std::string text;
    for (const LotShared::UnitFiles& unit : shared.written) {
        text += unit.unit->id;
        for (size_t i = unit.first; i < unit.end; ++i) {
            const PendingFile& p = shared.pending->files[i];
            if (p.dropped)
                continue;
            bool ok = false;
            const std::string sha = sha256_of_file(p.temporary.empty() ? p.target : p.temporary, ok);
            if (!ok)
                fatal(d, "cannot read back '%s' for the lot log", p.name.c_str());
            text += "\t" + p.name + "\t" + sha;
        }
        text += "\n";
    }
    return text;
}

}  // namespace

int convert_lot(Run& run, int argc, const char* const* argv)
{
    Diagnostics& d = run.diagnostics;
    const LotRequest request = read_lot_request(d, run.options.lot);
    // the files the walk opened belong to the units' runs
    discard_pending_files(run.pending);

    LotShared shared;
    shared.lot.name = request.file;
    shared.pattern = request.pattern;
    shared.pending = &run.pending;
    LotError error;
    if (!read_lot(read_whole_file(d, request.file), shared.lot, error))
        fatal(d, "%s:%u: %s", request.file.c_str(), error.line, error.text.c_str());
    const std::vector<LotUnit>& rows = shared.lot.units;
    size_t first = 0;
    if (!request.first.empty()) {
        while (first < rows.size() && rows[first].id != request.first)
            ++first;
        if (first == rows.size())
            fatal(d, "-lot first=%s: no unit of that id in %s", request.first.c_str(), request.file.c_str());
    }
    const size_t left = rows.size() - first;
    if (request.count_given && request.count > left)
        fatal(d, "-lot count=%llu: %s has %lu units from %s on", static_cast<unsigned long long>(request.count),
              request.file.c_str(), static_cast<unsigned long>(left), rows[first].id.c_str());
    const size_t count = request.count_given ? static_cast<size_t>(request.count) : left;
    std::vector<const LotUnit*> units;
    for (size_t i = first; i < first + count; ++i)
        units.push_back(&rows[i]);
    const bool deltas = !run.options.lotdelta.empty();
    const DeltaRequest delta = deltas ? read_delta_request(d, run.options.lotdelta) : DeltaRequest{};
    // with deltas alone the units write no files of their own
    if (!deltas || !request.pattern.empty())
        check_pattern(d, request.pattern, units.size());

    LotLog log;
    log.name = run.options.lotlog;
    struct LogCloser {
        LotLog& log;
        ~LogCloser()
        {
            if (log.file)
                std::fclose(log.file);
        }
    } closer{log};
    if (!log.name.empty())
        open_lot_log(d, log, units);
    if (errors_reported(d, run.options.werror))
        fatal(d, "errors prevent conversion");

    // a run of its own for each unit's files, and for its deltas; then the
    // deltas' common image
    auto convert_unit = [&](size_t k, bool capture, bool common) {
        Run unit;
        unit.diagnostics.console = d.console;
        unit.lot.unit = StampUnit{k, &shared.lot, units[k]};
        unit.lot.shared = &shared;
        unit.lot.capture = capture;
        unit.lot.common = common;
        unit.options.quiet = capture;
        unit.pending.counter = run.pending.counter;  // temporary names stay distinct across units
        if (common)
            unit.reports.units = &shared.reports;
        return run_conversion(unit, argc, argv);
    };
    for (size_t k = 0; k < units.size(); ++k) {
        const size_t before = run.pending.files.size();
        if (!deltas || !request.pattern.empty()) {
            if (const int status = convert_unit(k, false, false); status != 0)
                return status;  // the run's end removes every unit's files
        }
        shared.written.push_back({units[k], before, run.pending.files.size()});
        if (deltas)
            if (const int status = convert_unit(k, true, false); status != 0)
                return status;
    }
    if (deltas) {
        // the units' own files, as the common image's report lists them
        for (size_t k = 0; k < shared.written.size(); ++k)
            for (size_t i = shared.written[k].first; i < shared.written[k].end; ++i) {
                const PendingFile& p = run.pending.files[i];
                bool ok = false;
                if (!p.dropped)
                    shared.reports[k].files.emplace_back(
                        p.name, sha256_of_file(p.temporary.empty() ? p.target : p.temporary, ok));
            }
        if (const int status = convert_unit(0, false, true); status != 0)
            return status;
        write_delta_files(run, delta, shared);
    }
    const std::string lines = log.name.empty() ? "" : log_lines(d, shared);
    const PendingFile* failed = nullptr;
    if (!commit_pending_files(run.pending, failed))
        fatal(d, "error writing %s file '%s': %s", role_word(failed->role), failed->name.c_str(),
              std::strerror(errno));
    if (!log.name.empty()) {
        std::fseek(log.file, 0, SEEK_END);
        const bool written = std::fputs(lines.c_str(), log.file) >= 0 && std::fflush(log.file) == 0;
        if (!written)
            fatal(d, "error writing lot log '%s': %s", log.name.c_str(), std::strerror(errno));
    }
    return 0;
}

std::string unit_file_name(const LotState& lot, const std::string& name, const std::string& range, int file)
{
    if (!lot.shared || lot.shared->pattern.empty() || lot.capture || lot.common)
        return name;
    const std::string& pattern = lot.shared->pattern;
    std::string out;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%' || i + 1 == pattern.size()) {
            out += pattern[i];
            continue;
        }
        switch (pattern[++i]) {
        case 'i': out += lot.unit.row->id; break;
        case 'f': out += name; break;
        case 'n': {
            const size_t slash = name.find_last_of("/\\");
            const size_t dot = name.rfind('.');
            const bool extension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
            out += extension ? name.substr(0, dot) : name;
            break;
        }
        case 'r': out += range; break;
        case 'k':
            if (file >= 0)
                out += std::to_string(file);
            break;
        default: out += pattern[i]; break;
        }
    }
    return out;
}

void make_unit_folders(Run& run, const std::string& name)
{
    if (run.lot.shared && !run.lot.shared->pattern.empty() && run.verify.pairs.empty() &&
        !make_folders(run.pending, name))
        fatal(run.diagnostics, "cannot make the folder of '%s': %s", name.c_str(), std::strerror(errno));
}

void name_unit_files(Run& run)
{
    if (!run.lot.shared || run.lot.shared->pattern.empty() || run.lot.capture || run.lot.common)
        return;
    auto rename = [&run](std::string& name, const std::string& range, int file) {
        name = unit_file_name(run.lot, name, range, file);
        make_unit_folders(run, name);
    };
    for (RomRange* r : run.ranges.rom_list)
        for (size_t k = 0; k < r->files.size(); ++k)
            rename(r->files[k], r->name, static_cast<int>(k));
    for (AlsoSet& set : run.also.sets)
        for (RomRange& view : set.views)
            for (size_t k = 0; k < view.files.size(); ++k)
                rename(view.files[k], view.name, static_cast<int>(k));
    for (Value& v : run.values.digests)
        for (std::string* name : {&v.out_name, &v.message_name})
            if (!name->empty())
                rename(*name, "", -1);
}

void check_unit_stamps(Run& run)
{
    LotShared* shared = run.lot.shared;
    if (!shared)
        return;
    size_t j = 0;
    for (const Value& v : run.values.list) {
        if (v.kind != VALUE_STAMP)
            continue;
        if (shared->stamps_seen.size() <= j)
            shared->stamps_seen.resize(j + 1);
        if (!v.stamp_shared) {
            auto [it, fresh] = shared->stamps_seen[j].emplace(stamp_key(v), run.lot.unit.row);
            if (!fresh && it->second != run.lot.unit.row)
                report(run.diagnostics, SEVERITY_ERROR,
                       "stamp '%s': unit %s (%s:%u) has the value of unit %s (%s:%u); a stamp that units share says "
                       "shared",
                       v.text.c_str(), run.lot.unit.row->id.c_str(), shared->lot.name.c_str(), run.lot.unit.row->line,
                       it->second->id.c_str(), shared->lot.name.c_str(), it->second->line);
        }
        ++j;
    }
}

void hand_over_unit_files(Run& run)
{
    LotShared& shared = *run.lot.shared;
    if (run.lot.capture) {
        // a run for the deltas: its bytes kept, its files (the reports) not
        finish_delta_capture(run.delta);
        shared.deltas.push_back({run.lot.unit.row, std::move(run.delta.lanes)});
        UnitReport& report = shared.reports.emplace_back();
        report.id = run.lot.unit.row->id;
        report.line = run.lot.unit.row->line;
        for (const Value& v : run.values.list)
            if (v.per_unit)
                report.values.push_back({v.option + " " + value_name(v), v.at, value_hex(v)});
        discard_pending_files(run.pending);
        return;
    }
    for (const PendingFile& p : run.pending.files) {
        if (p.dropped)
            continue;
        auto [it, fresh] = shared.names_taken.emplace(p.name, run.lot.unit.row);
        if (!fresh)
            fatal(run.diagnostics, "unit %s writes '%s', as unit %s does: give -lot a name= that tells them apart",
                  run.lot.unit.row->id.c_str(), p.name.c_str(), it->second->id.c_str());
    }
    shared.pending->counter = run.pending.counter;
    const PendingFile* failed = nullptr;
    if (!adopt_pending_files(*shared.pending, run.pending, failed))
        fatal(run.diagnostics, "error writing %s file '%s': %s", role_word(failed->role), failed->name.c_str(),
              std::strerror(errno));
}

}  // namespace khex
