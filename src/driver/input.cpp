#include "driver/input.h"

#include <cerrno>
#include <cstring>

#include "base/paths.h"
#include "coff/loader.h"
#include "driver/options.h"
#include "driver/run.h"

namespace khex {

namespace {

bool is_coff_id(unsigned value)
{
    return value == 0x00C0 || value == 0x00C1 || value == 0x00C2 || value == 0x009C;
}

// What a command file says goes where the command line's words go: options
// to the option handler, names to add_input, directive entries to the
// handlers of the ROMS and SECTIONS directives.
void take_command(Run& run, const CommandEntry& entry)
{
    const char* text = entry.text;
    const uint32_t number = entry.number;
    RangeState& ranges = run.ranges;
    SpecState& specs = run.specs;
    Diagnostics& d = run.diagnostics;
    switch (entry.command) {
    case Command::OPTION: handle_option(run, text, true); break;
    case Command::INPUT: add_input(run, text); break;
    case Command::ROMS: roms_begin(ranges, d); break;
    case Command::ROMS_PAGE: roms_set_page(ranges, number); break;
    case Command::RANGE: range_begin(ranges, text); break;
    case Command::RANGE_ORIGIN: range_origin(ranges, d, number); break;
    case Command::RANGE_LENGTH: range_length(ranges, d, number); break;
    case Command::RANGE_ROMWIDTH: range_romwidth(ranges, d, number); break;
    case Command::RANGE_MEMWIDTH: range_memwidth(ranges, d, number); break;
    case Command::RANGE_FILL: range_fill(ranges, d, number); break;
    case Command::RANGE_FILE: range_add_file(ranges, text); break;
    case Command::RANGE_END: range_end(ranges, d, run.options.image); break;
    case Command::SECTIONS: sections_begin(specs, d); break;
    case Command::SECTION: spec_begin(specs, text); break;
    case Command::SECTION_BOOT: spec_boot(specs, d); break;
    case Command::SECTION_PADDR: spec_paddr(specs, d, number); break;
    case Command::SECTION_DATAWIDTH: spec_datawidth(specs, d, number); break;
    case Command::SECTION_END: spec_end(specs, d); break;
    }
}

void run_command_file(Run& run, FILE* stream, const std::string& name)
{
    InputState& input = run.input;
    input.command_name = name;
    input.command_file = stream;
    input.command_files.push_back(name);
    lexer_reset(run.lexer, stream);
    run.diagnostics.location = Location{&input.command_name, &run.lexer.line};
    auto sink = [&run](const CommandEntry& entry) { take_command(run, entry); };
    CommandParse parse{run.lexer, run.parser, run.diagnostics, sink};
    parse_command_file(parse);  // its result is not needed: errors were reported
    run.diagnostics.location = Location{};
    lexer_reset(run.lexer, nullptr);
    std::fclose(input.command_file);
    input.command_file = nullptr;
    input.command_name.clear();
}

}  // namespace

void close_inputs(InputState& input)
{
    if (input.coff_file)
        std::fclose(input.coff_file);
    if (input.command_file)
        std::fclose(input.command_file);
    input.coff_file = nullptr;
    input.command_file = nullptr;
}

// Names are not cut to a fixed length: a shortened name could open another file.
void add_input(Run& run, const char* name)
{
    InputState& input = run.input;
    std::string completed = set_extension(name, ".out", false);
    FILE* stream = std::fopen(completed.c_str(), "rb");
    if (!stream)
        fatal(run.diagnostics, "cannot open input file '%s': %s", completed.c_str(), std::strerror(errno));
    unsigned char id[4];
    const size_t got = std::fread(id, 1, 4, stream);
    if (got < 2) {
        std::fclose(stream);
        fatal(run.diagnostics, "cannot read input file %s", completed.c_str());
    }

    if (is_coff_id(id[0] | id[1] << 8) || is_coff_id(id[1] | id[0] << 8) || is_elf_magic(id, got)) {
        if (input.coff_file) {
            report(run.diagnostics, SEVERITY_WARNING, "multiple COFF files: %s ignored", completed.c_str());
            std::fclose(stream);
            return;
        }
        input.coff_name = completed;
        input.coff_file = stream;
        std::rewind(stream);
        return;
    }
    if ((id[0] | id[1]) & 0x80) {
        report(run.diagnostics, SEVERITY_WARNING, "illegal input file type: %s ignored", completed.c_str());
        std::fclose(stream);
        return;
    }
    if (input.command_file) {
        report(run.diagnostics, SEVERITY_WARNING, "nested command file: %s ignored", completed.c_str());
        std::fclose(stream);
        return;
    }
    std::fclose(stream);
    stream = std::fopen(completed.c_str(), "r");
    if (!stream)
        fatal(run.diagnostics, "cannot open input file '%s': %s", completed.c_str(), std::strerror(errno));
    run_command_file(run, stream, completed);
}

}  // namespace khex
