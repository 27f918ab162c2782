#include "driver/usage.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/banner.h"
#include "driver/options.h"
#include "driver/run.h"
#include "output/formats.h"

namespace khex {

namespace {

const char* const FULL_USAGE[] = {
    "Options:\n",
    " -@<file>      Read commands from 'file'\n",
    " -q            Quiet Operation\n",
    " -e<addr>      Specify entrypoint address or symbol name\n",
    " -o<file>      Specify output file names\n",
    " -image        Select image mode\n",
    " -zero         Zero based addressing\n",
    " -fill<x>      Specify fill value\n",
    " -romwidth<x>  Specify rom width\n",
    " -memwidth<x>  Specify memory width\n",
    " -datawidth<x> Specify data width\n",
    " -order        Specify data ordering (endinness)\n",
    " -bootorg<adr> Specify origin address or symbol of boot table ROM\n",
    " -map<file>    Specify map file name\n",
    "\n",
    "Output Format Specification:\n",
    " -a            Output ASCII hex format\n",
    " -i            Output Intel hex format\n",
    " -m[1|2|3]     Output Motorola S hex format\n",
    " -t            Output ZQ-Tagged hex format\n",
    " -x            Output Extended Tektronix hex format\n",
    "\n",
    "            See the User's guide for additional information\n",
    "            and target specific options.\n",
    "\n",
};

void write_usage(const Run& run, bool full)
{
    FILE* out = run.diagnostics.console.out;
    std::fprintf(out, "%-*.*s%s\n", 34, 34, BANNER_TITLE, BANNER_VERSION);
    std::fprintf(out, "%-*.*s%s\n", 34, 34, BANNER_SUBTITLE, BANNER_NOTICE);
    std::fprintf(out, "\n");
    std::fprintf(out, "Usage: %s [-options | -h] filename\n", run.walk.program.c_str());
    std::fprintf(out, "\n");
    if (full)
        for (const char* line : FULL_USAGE)
            std::fputs(line, out);
}

const char* const GROUP_TITLES[GROUP_COUNT] = {
    "Output formats (one of them):",
    "Ranges and widths:",
    "Image mode, fill and checksums:",
    "Boot table and ports:",
    "Files and reports:",
    "In a build:",
    "Help and tracing:",
};

// One line of the help: the option's spellings and value, then what it does.
// A help text longer than the line goes on under itself, broken at blanks.
void help_line(std::string& out, const std::string& option, const char* help)
{
    constexpr size_t COLUMN = 26;
    constexpr size_t WIDTH = 79;
    out += "  ";
    out += option;
    if (option.size() + 2 < COLUMN) {
        out.append(COLUMN - 2 - option.size(), ' ');
    } else {
        out += '\n';
        out.append(COLUMN, ' ');
    }
    std::string text = help;
    while (COLUMN + text.size() > WIDTH) {
        const size_t cut = text.rfind(' ', WIDTH - COLUMN);
        if (cut == std::string::npos || cut == 0)
            break;
        out += text.substr(0, cut);
        out += '\n';
        out.append(COLUMN, ' ');
        text.erase(0, cut + 1);
    }
    out += text;
    out += '\n';
}

// The rows of a table with their other spellings, as --help shows them.
void table_lines(std::string* groups, const OptionRows& table)
{
    const size_t count = row_count(table);
    for (size_t i = 0; i < count; ++i) {
        const OptionRow row = row_at(table, i);
        if (!row.help)
            continue;
        std::string option = table.dashes;
        option += row.word;
        for (size_t k = i + 1; k < count; ++k) {
            const OptionRow other = row_at(table, k);
            if (other.handle == row.handle && !other.help) {
                option += ", ";
                option += table.dashes;
                option += other.word;
            }
        }
        if (row.value) {
            const bool joined = row.value[0] == '[' || row.word[std::strlen(row.word) - 1] == '=';
            if (!joined)
                option += ' ';
            option += row.value;
        }
        help_line(groups[row.group], option, row.help);
    }
}

// A format's words, its name and extension, and the widths a word sets.
void format_lines(std::string& out)
{
    for (int f = 0; f < format_count; ++f) {
        const OutputFormat& format = output_formats[f];
        std::string option, widths;
        for (const FormatWord& w : format.words) {
            if (!w.word)
                continue;
            std::string typed = "-";
            typed += w.word;
            if (!option.empty())
                option += ", ";
            option += typed;
            if (w.romwidth && w.forced)
                widths += ", " + std::to_string(8 * w.romwidth) + "-bit memory and ROMs";
            else if (w.romwidth)
                widths += ", " + typed + " " + std::to_string(8 * w.romwidth) + "-bit ROMs";
        }
        std::string help = format.name;
        help += " (";
        help += format.extension;
        help += ")";
        help += widths;
        if (f == FORMAT_TEKTRONIX)
            help += ", the default";
        if (!widths.empty())
            help += "; a ROMS entry's widths win";
        help_line(out, option, help.c_str());
    }
}

}  // namespace

std::string help_text(const std::string& program)
{
    char banner[200];
    std::snprintf(banner, sizeof banner, "%-*.*s%s\n%-*.*s%s\n\n", 34, 34, BANNER_TITLE, BANNER_VERSION, 34, 34,
                  BANNER_SUBTITLE, BANNER_NOTICE);
    std::string out = banner;
    out += "Usage: " + program + " [options] file...\n\n";
    out += "Each file is the COFF file to convert (default extension .out) or a command\n"
           "file of options and ROMS and SECTIONS directives. An option's value is the\n"
           "next argument: -o rom.hex, never -orom.hex. Widths and fill set by options\n"
           "are defaults: a ROMS entry's own romwidth, memwidth and fill win.\n";
    std::vector<std::string> groups(GROUP_COUNT);
    format_lines(groups[GROUP_FORMATS]);
    for (const OptionRows& table : option_tables())
        table_lines(groups.data(), table);
    for (int g = 0; g < GROUP_COUNT; ++g) {
        out += '\n';
        out += GROUP_TITLES[g];
        out += '\n';
        out += groups[g];
    }
    out += "\nEvery option, the command-file directives and examples: the manual page,\n"
           "\"man khex\" (khex.txt beside khex.exe on Windows).\n";
    return out;
}

void print_usage(Run& run, bool full)
{
    write_usage(run, full);
    end_run(1);
}

void print_help(Run& run)
{
    const std::string text = help_text(run.walk.program);
    std::fputs(text.c_str(), run.diagnostics.console.out);
    end_run(0);
}

void print_version(Run& run)
{
    std::fprintf(run.diagnostics.console.out, "khex %s\n", PROGRAM_VERSION);
    end_run(0);
}

}  // namespace khex
