#include "output/sets.h"

#include <cstdarg>
#include <iterator>

#include "base/paths.h"
#include "base/text.h"
#include "cmdfile/lexer.h"
#include "coff/loader.h"

namespace khex {

namespace {

// A format by name: its row, and the ROM width in bytes its name implies (0:
// the range's own). The option words of the formats count too.
struct SetFormatName {
    const char* name;
    int format;
    int romwidth;
};

const SetFormatName SET_NAMES[] = {
    {"intel", FORMAT_INTEL, 0},       {"motorola", FORMAT_MOTOROLA, 0}, {"tektronix", FORMAT_TEKTRONIX, 0},
    {"zq", FORMAT_ZQ_TAGGED, 0},      {"ascii", FORMAT_ASCII_HEX, 0},   {"generic8", FORMAT_GENERIC, 0},
    {"generic16", FORMAT_GENERIC, 2}, {"binary", FORMAT_BINARY, 0},     {"debug", FORMAT_DEBUG, 0},
};

[[gnu::format(printf, 3, 4)]] void refuse(Diagnostics& d, const AlsoSet& set, const char* format, ...)
{
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    report(d, SEVERITY_ERROR, "-also '%s': %s", set.text.c_str(), text);
}

// The row of a format word or name, and the ROM width the name implies.
const OutputFormat* format_named(const std::string& word, int& romwidth)
{
    const std::string name = folded(word);
    romwidth = 0;
    for (const SetFormatName& n : SET_NAMES)
        if (name == n.name) {
            romwidth = n.romwidth;
            return &output_formats[n.format];
        }
    for (int f = 0; f < format_count; ++f)
        for (const FormatWord& w : output_formats[f].words)
            if (w.word && w.word[0] != '-' && name == w.word)
                return &output_formats[f];
    return nullptr;
}

// FORMAT[,RANGE][,romwidth=BITS][,names=PATTERN]: names= takes the rest of
// the value, commas included.
bool parse_set(Diagnostics& d, AlsoSet& set, const RangeState& ranges)
{
    std::string rest = set.text;
    const size_t names = folded(rest).find(",names=");
    if (names != std::string::npos) {
        set.pattern = rest.substr(names + 7);
        rest.resize(names);
        if (set.pattern.empty()) {
            refuse(d, set, "names= gives no pattern");
            return false;
        }
    }
    const std::vector<std::string> fields = split_commas(rest);
    int implied = 0;
    set.format = fields.empty() ? nullptr : format_named(fields[0], implied);
    if (!set.format) {
        refuse(d, set, "unknown format '%s' (formats: %s)", fields.empty() ? "" : fields[0].c_str(),
               also_format_names().c_str());
        return false;
    }
    set.romwidth = implied;
    bool ok = true;
    for (size_t i = 1; i < fields.size(); ++i) {
        const std::string& field = fields[i];
        const size_t equals = field.find('=');
        if (equals == std::string::npos) {
            std::string error;
            if (set.only) {
                refuse(d, set, "a second range '%s'", field.c_str());
                ok = false;
            } else if (!(set.only = range_named(ranges, field, error))) {
                refuse(d, set, "%s", error.c_str());
                ok = false;
            }
            continue;
        }
        uint32_t value = 0;
        if (folded(field.substr(0, equals)) != "romwidth") {
            refuse(d, set, "unknown field '%s' (fields: romwidth, names)", field.substr(0, equals).c_str());
            ok = false;
        } else if (!parse_number(field.substr(equals + 1), value) || value == 0 || value % 8 != 0) {
            refuse(d, set, "romwidth=%s is not a width in bits (8, 16, 32, ...)", field.substr(equals + 1).c_str());
            ok = false;
        } else {
            set.romwidth = static_cast<int32_t>(value / 8);
        }
    }
    return ok;
}

// Whether the set's writer carries the view's widths; an ERROR otherwise.
bool widths_carried(Diagnostics& d, const AlsoSet& set, const RomRange& v)
{
    const int32_t mem = v.memwidth, rom = v.romwidth;
    const OutputFormat& f = *set.format;
    if ((mem > rom && mem % rom != 0) || (mem < rom && rom % mem != 0)) {
        refuse(d, set, "a ROM width of %d bits does not divide into range '%s''s memory words of %d bits", bits(rom),
               v.name.c_str(), bits(mem));
        return false;
    }
    if (mem > rom && mem / rom > MAX_LANES) {
        refuse(d, set, "range '%s' would need %d files (at most %d)", v.name.c_str(), mem / rom, MAX_LANES);
        return false;
    }
    if (rom % f.unit != 0 || (f.widest_operation != 0 && rom > f.widest_operation) || !divides_load_buffer(rom)) {
        refuse(d, set, "%s files cannot carry ROM words of %d bits (range '%s')", f.name, bits(rom), v.name.c_str());
        return false;
    }
    return true;
}

// -reclen, for a set whose format has records: at most what its length field
// carries, a whole number of its ROM words.
bool record_length_carried(Diagnostics& d, const AlsoSet& set, const ConvOptions& options, const RomRange& v)
{
    const uint32_t n = options.reclen;
    if (!options.reclen_given || set.format->longest_record == 0)
        return true;
    if (n > static_cast<uint32_t>(set.format->longest_record) || n % static_cast<uint32_t>(v.romwidth) != 0) {
        refuse(d, set, "-reclen %lu does not fit its %s records of %d-bit ROM words", static_cast<unsigned long>(n),
               set.format->name, bits(v.romwidth));
        return false;
    }
    return true;
}

// A name from the pattern: %r the range's name, %k the file's index, %n and
// %f the run's own file of that index without and with its extension, %% a
// percent sign.
bool name_from_pattern(Diagnostics& d, const AlsoSet& set, const RomRange& main, const RomRange& v, int k,
                       std::string& name)
{
    name.clear();
    const std::string& pattern = set.pattern;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%' || i + 1 == pattern.size()) {
            name += pattern[i];
            continue;
        }
        const char token = pattern[++i];
        if (token == 'r') {
            name += main.name;
        } else if (token == 'k') {
            name += std::to_string(k);
        } else if (token == 'n' || token == 'f') {
            if (v.file_count != main.file_count || v.romwidth != main.romwidth) {
                refuse(d, set, "%%%c names the run's own file of the same index, but the set splits range '%s' "
                               "into %d file%s of %d bits, the run into %d of %d",
                       token, main.name.c_str(), v.file_count, v.file_count == 1 ? "" : "s", bits(v.romwidth),
                       main.file_count, bits(main.romwidth));
                return false;
            }
            const std::string& own = main.files[static_cast<size_t>(k)];
            const size_t slash = own.find_last_of("/\\");
            const size_t dot = own.rfind('.');
            const bool has_extension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
            name += token == 'f' || !has_extension ? own : own.substr(0, dot);
        } else if (token == '%') {
            name += '%';
        } else {
            refuse(d, set, "unknown token '%%%c' in names= (tokens: %%r, %%k, %%n, %%f, %%%%)", token);
            return false;
        }
    }
    return true;
}

// The set's view of a range: the range with the set's ROM width and names.
bool make_view(Diagnostics& d, AlsoSet& set, const ConvOptions& options, const RangeState& ranges,
               const RomRange& main, const std::string& coff_name)
{
    RomRange v = main;
    v.romwidth = set.romwidth != 0 ? set.romwidth : main.romwidth;
    if (!widths_carried(d, set, v) || !record_length_carried(d, set, options, v))
        return false;
    v.file_count = v.memwidth > v.romwidth ? v.memwidth / v.romwidth : 1;
    v.files.clear();
    const size_t position = main.index;
    const bool several = position != 0 || position + 1 < ranges.rom_list.size();
    const std::string extension(set.format->extension, 2);
    for (int k = 0; k < v.file_count; ++k) {
        std::string name;
        if (set.pattern.empty())
            name = default_file_name(coff_name, extension, static_cast<int>(position), several, k);
        else if (!name_from_pattern(d, set, main, v, k, name))
            return false;
        v.files.push_back(name);
    }
    set.view_of[main.index] = &set.views.emplace_back(std::move(v));
    return true;
}

}  // namespace

std::string also_format_names()
{
    std::string names;
    for (int f = 0; f < format_count; ++f)
        for (const FormatWord& w : output_formats[f].words)
            if (w.word && w.word[0] != '-')
                names += (names.empty() ? "" : ", ") + std::string(w.word);
    for (const SetFormatName& n : SET_NAMES)
        names += ", " + std::string(n.name);
    return names;
}

void read_also_requests(AlsoState& also, Diagnostics& d, const ConvOptions& options, const RangeState& ranges,
                        const std::string& coff_name)
{
    for (const std::string& text : options.also) {
        AlsoSet& set = also.sets.emplace_back();
        set.text = text;
        if (!parse_set(d, set, ranges))
            continue;
        set.view_of.assign(ranges.rom_list.size(), nullptr);
        for (const RomRange* r : ranges.rom_list)
            if ((!set.only || set.only == r) && !make_view(d, set, options, ranges, *r, coff_name))
                break;
    }
}

}  // namespace khex
