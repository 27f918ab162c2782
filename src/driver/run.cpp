#include "driver/run.h"

#include <cerrno>
#include <cstring>
#include <new>

namespace khex {

namespace {

// What the output files are written with, once the byte order is settled.
OutputSettings output_settings(const Run& run)
{
    OutputSettings settings;
    settings.format = &selected_format(run.options);
    settings.order = run.settled.order;
    settings.zero = run.settled.zero;
    settings.romaddr = run.options.romaddr;
    settings.line_words = run.options.olength;
    settings.entry_point = run.coff.coff_entry_point;
    settings.tallies = run.options.json_file != nullptr;
    return settings;
}

// The steps of a conversion, in the order the program works.
int convert(Run& run, int argc, const char* const* argv)
{
    walk_command_line(run, argc, argv);
    if (!run.input.coff_file)
        fatal(run.diagnostics, "no input files");
    const OutputFormat& format = selected_format(run.options);
    resolve_memory(run.ranges, run.diagnostics, run.options, format_rules(format), run.input.coff_name);
    settle_zero_based(run);
    resolve_checksums(run.checksums, run.diagnostics, run.options, run.ranges, format.index != FORMAT_BINARY);
    check_file_uses(run);
    if (errors_reported(run.diagnostics, run.options.werror))
        fatal(run.diagnostics, "errors prevent conversion");

    run.coff.file = run.input.coff_file;
    CoffReader reader{run.coff, run.diagnostics, run.options};
    bool loaded = read_coff_headers(reader);
    if (loaded) {
        start_translation(run);
        start_output(run.output, output_settings(run), run.diagnostics, run.pending);
        trace_header_summary(reader);
        loaded = read_symbols(reader, run.symbols);
    }
    if (loaded) {
        settle_entry_point(run);
        settle_boot_entries(run);
        if (run.options.map_file && run.coff.symbol_count != 0)
            write_map_header(run);
        auto place = [&run](int section, uint8_t* data, int nbytes, uint32_t address) {
            write_target_memory(run, section, data, nbytes, address);
        };
        loaded = load_sections(reader, run.specs.conversion_order, place);
    }
    if (!loaded)
        report_load_failure(reader);
    close_inputs(run.input);
    finish_conversion(run);
    close_map_file(run);
    write_svg_map(run);
    write_json_map(run);
    // under -werror a failed run leaves nothing a build could take for a
    // result: no file appears or changes
    if (run.options.werror && errors_reported(run.diagnostics, run.options.werror))
        return 1;
    write_depfile(run);
    const PendingFile* failed = nullptr;
    if (!commit_pending_files(run.pending, failed))
        fatal(run.diagnostics, "error writing %s file '%s': %s", role_word(failed->role), failed->name.c_str(),
              std::strerror(errno));
    return errors_reported(run.diagnostics, run.options.werror) || !loaded ? 1 : 0;
}

// The one place every run ends: output and map files that a good end did not
// commit are removed, and every input is closed.
void close_run_files(Run& run)
{
    close_inputs(run.input);
    discard_pending_files(run.pending);
    release_parser_stacks(run.parser);
}

}  // namespace

int run_conversion(Run& run, int argc, const char* const* argv)
{
    int status;
    try {
        try {
            status = convert(run, argc, argv);
        } catch (const std::bad_alloc&) {
            fatal(run.diagnostics, "out of memory");
        }
    } catch (const RunEnd& end) {
        status = end.status;
    }
    close_run_files(run);
    std::fflush(run.diagnostics.console.out);
    return status;
}

int run(const std::vector<std::string>& arguments, FILE* out, FILE* err)
{
    std::vector<const char*> argv;
    for (const std::string& a : arguments)
        argv.push_back(a.c_str());
    argv.push_back(nullptr);
    Run state;
    state.diagnostics.console = Console{out, err};
    return run_conversion(state, static_cast<int>(arguments.size()), argv.data());
}

}  // namespace khex
