#include "driver/run.h"

#include <cerrno>
#include <cstring>
#include <new>

#include "driver/file_uses.h"
#include "driver/input.h"
#include "driver/walk.h"
#include "output/digest_files.h"
#include "output/formats.h"
#include "memory/span_hasher.h"
#include "output/verify.h"
#include "placement/prepass.h"
#include "placement/settle.h"

namespace khex {

namespace {

// What the output files are written with, once the byte order is settled.
OutputSettings output_settings(const Run& run)
{
    OutputSettings settings;
    settings.format = &selected_format(run.options);
    settings.order = run.settled.order;
    settings.big_endian = run.coff.target_big_endian;
    settings.datawidth = run.options.datawidth;
    settings.zero = run.settled.zero;
    settings.romaddr = run.options.romaddr;
    settings.line_words = run.options.olength;
    settings.entry_point = run.coff.coff_entry_point;
    settings.tallies = reports_need_tallies(run.reports);
    settings.record_bytes = run.options.reclen_given ? run.options.reclen : 0;
    return settings;
}

// What the reports read of the run.
ReportFacts report_facts(const Run& run)
{
    return ReportFacts{run.options,   run.settled,   run.diagnostics, run.input.coff_name, run.input.command_files,
                       run.coff,      run.symbols,   run.ranges,    run.specs,       run.placement,       run.values,
                       run.inserts,   run.boot_table, run.output,  run.verify,  run.reports};
}

// The announcement of a section's first data: its progress line.
void announce_section(const Run& run, const SectionSpec& spec)
{
    const ConvOptions& options = run.options;
    FILE* out = run.diagnostics.console.out;
    if (options.quiet)
        return;
    if (spec.flags & SPEC_INSERT) {
        std::fprintf(out, "   \"%s\"   ==> inserted\n", spec.name.c_str());
        return;
    }
    std::fprintf(out, "   \"%s\"   ==> %s", run.input.coff_name.c_str(), spec.name.c_str());
    if (spec.flags & SPEC_BOOT)
        std::fprintf(out, " \t(BOOT LOAD)");
    if (options.verbose <= 0)
        std::fprintf(out, "\n");
}

// Once the headers are read: the device, the format's widths, the boot
// table's place, the sections and their order, the byte order; then the
// progress line and the output's settings; a verify run's writes go to its
// tap.
void start_translation(Run& run, const OutputTap& verify_tap, const OutputTap& delta_tap)
{
    Diagnostics& d = run.diagnostics;
    const ConvOptions& options = run.options;
    Settled& settled = run.settled;
    const OutputFormat& format = selected_format(options);
    settle_device_code(settled, options, run.coff, d);
    check_format_widths(options, format, d);
    settle_device(settled, options, d);
    settle_boot_origin(settled, run.ranges);
    boot_table_start(run.boot_table, settled);
    select_sections(run.specs, d, options, settled, run.coff, run.input.coff_name);
    check_boot_widths(settled, run.ranges, run.specs, d);
    settle_byte_order(settled, options, run.coff);
    if (run.specs.selected_count == 0)
        fatal(d, "no initialized sections in %s", run.input.coff_name.c_str());
    if (!options.quiet)
        std::fprintf(d.console.out, "Translating %s to %s format...\n", run.input.coff_name.c_str(), format.name);
    start_output(run.output, output_settings(run), d, run.pending);
    for (const AlsoSet& set : run.also.sets) {
        const uint32_t record_bytes = options.reclen_given && set.format->longest_record ? options.reclen : 0;
        add_file_set(run.output, *set.format, record_bytes, {set.view_of.begin(), set.view_of.end()});
    }
    if (!run.verify.pairs.empty()) {
        const OutputSettings& s = run.output.settings;
        start_verify(run.verify, d, WordArrangement{s.big_endian, s.order, s.datawidth}, s.romaddr, s.zero);
        tap_outputs(run.output, verify_tap);
    } else if (run.lot.capture) {
        start_delta_capture(run.delta, run.values, run.output.settings.order);
        tap_outputs(run.output, delta_tap);
    }
}

// -sections and -symbols: the executable's sections, where the run's
// SECTIONS and options would put them, and its symbols; nothing converted,
// no file written but the JSON report when one is asked for.
int list_executable(Run& run, CoffReader& reader, const ReportFacts& facts)
{
    Diagnostics& d = run.diagnostics;
    settle_device_code(run.settled, run.options, run.coff, d);
    settle_boot_origin(run.settled, run.ranges);
    select_sections(run.specs, d, run.options, run.settled, run.coff, run.input.coff_name);
    settle_byte_order(run.settled, run.options, run.coff);
    if (run.options.list_symbols && !read_symbols(reader, run.symbols)) {
        report_load_failure(reader);
        return 1;
    }
    print_listing(facts, d.console.out);
    write_reports(run.reports, facts, run.pending, d);
    const PendingFile* failed = nullptr;
    if (!commit_pending_files(run.pending, failed))
        fatal(d, "error writing %s file '%s': %s", role_word(failed->role), failed->name.c_str(),
              std::strerror(errno));
    return 0;
}

// After the symbol pass: the values' and inserts' symbols, the inserts in the
// conversion order, and what pre-passes work out before the writing pass;
// a value or insert that cannot be written stops the run.
void prepare_placement(Run& run, Placer& placer)
{
    Diagnostics& d = run.diagnostics;
    const SymbolSource source{run.symbols, run.coff, run.specs, run.input.coff_name};
    if (values_requested(run.values) && !resolve_values(run.values, d, source))
        fatal(d, "errors prevent conversion");
    if (!run.inserts.list.empty() && !resolve_inserts(run.inserts, d, source, run.values))
        fatal(d, "errors prevent conversion");
    order_inserts(run.inserts, run.specs, run.options);
    const std::vector<int>& order = run.specs.conversion_order;
    if (values_ahead(run.values))
        compute_values_ahead(placer, run.coff, order);
    if (!check_field_values(run.values, d) || !check_signed_digests(run.values, d))
        fatal(d, "errors prevent conversion");
    if (!run.inserts.list.empty() && boot_sections_selected(run.specs) && !check_insert_clashes(placer, run.coff, order))
        fatal(d, "errors prevent conversion");
    // the writing pass writes what the digests hash; a verify run writes no file
    if (run.verify.pairs.empty())
        open_message_files(run.values, run.pending, d);
    start_span_hasher(run.values);
    start_placement(placer);
}

// The steps of a conversion, in the order the program works.
int convert(Run& run, int argc, const char* const* argv)
{
    Diagnostics& d = run.diagnostics;
    walk_command_line(run, argc, argv);
    if (!run.options.lot.empty() && !run.lot.shared)
        return convert_lot(run, argc, argv);
    if (!run.options.lotlog.empty() && run.options.lot.empty())
        report(d, SEVERITY_ERROR, "-lotlog logs the units of a lot: give -lot FILE");
    if (!run.options.lotdelta.empty() && run.options.lot.empty())
        report(d, SEVERITY_ERROR, "-lotdelta writes the bytes of a lot's units: give -lot FILE");
    if (!run.input.coff_file)
        fatal(d, "no input files");
    const OutputFormat& format = selected_format(run.options);
    resolve_memory(run.ranges, d, run.options, format_rules(format), run.input.coff_name);
    check_record_length(run.options, format, run.ranges, d);
    settle_zero_based(run.settled, run.options, d);
    run.values.blank_per_unit = run.lot.common;
    read_value_requests(run.values, d, run.options, run.ranges, format.index != FORMAT_BINARY, run.lot.unit);
    check_unit_stamps(run);
    read_insert_requests(run.inserts, d, run.options, run.ranges);
    read_also_requests(run.also, d, run.options, run.ranges, run.input.coff_name);
    read_verify_requests(run.verify, d, run.options, run.ranges, run.also, format);
    name_unit_files(run);
    check_file_uses(run);
    if (errors_reported(d, run.options.werror))
        fatal(d, "errors prevent conversion");

    run.coff.file = run.input.coff_file;
    run.coff.file_name = run.input.coff_name;
    CoffReader reader{run.coff, d, run.options};
    auto announce = [&run](const SectionSpec& spec) { announce_section(run, spec); };
    const ReportFacts facts = report_facts(run);
    auto range_closed = [&run, &facts](const RomRange& r) { report_range_closed(run.reports, facts, r); };
    Placer placer{run.placement, d,           run.options,    run.settled,     run.coff,   run.ranges,
                  run.specs,     run.values,  run.inserts,    run.boot_table,  run.boot_buffer, run.output,
                  announce,      range_closed};
    // verify compares the writes with read-backs instead of writing files
    auto open_file = [&run](const RomRange& r, int file) { return verify_open_file(run.verify, r, file); };
    auto write = [&run](const RomRange& r, uint32_t address, const uint8_t* data, int nbytes, const ByteOwner& owner) {
        verify_write(run.verify, r, address, data, nbytes, owner);
    };
    auto written = [&run](const RomRange& r, int file, FILE* f) { verify_file_written(run.verify, r, file, f); };
    const OutputTap verify_tap{open_file, write, written};
    // a unit of a lot's deltas: its per-unit bytes caught, no file written
    auto no_file = [](const RomRange&, int) -> FILE* { return nullptr; };
    auto catch_write = [&run](const RomRange& r, uint32_t address, const uint8_t* data, int nbytes,
                              const ByteOwner& owner) { delta_write(run.delta, r, address, data, nbytes, owner); };
    auto nothing = [](const RomRange&, int, FILE*) {};
    const OutputTap delta_tap{no_file, catch_write, nothing};
    bool loaded = read_coff_headers(reader);
    if (loaded && run.options.list_sections)
        return list_executable(run, reader, facts);
    if (loaded) {
        start_translation(run, verify_tap, delta_tap);
        trace_header_summary(reader);
        loaded = read_symbols(reader, run.symbols);
    }
    if (loaded) {
        settle_entry_point(run.settled, run.options, run.symbols, run.coff, d);
        settle_boot_entries(run.settled, run.options, run.symbols, d);
        prepare_placement(run, placer);
        auto place = [&placer](int section, uint8_t* data, int nbytes, uint32_t address) {
            write_target_memory(placer, section, data, nbytes, address);
        };
        auto insert = [&placer](int step) { place_insert_step(placer, step); };
        loaded = load_sections(reader, run.specs.conversion_order, place, insert);
    }
    if (!loaded)
        report_load_failure(reader);
    close_inputs(run.input);
    finish_conversion(placer);
    if (loaded && run.verify.pairs.empty())
        write_digest_files(run.values, run.pending, d);
    print_verify(run.verify, d.console.out, run.options.verify_limit);
    write_reports(run.reports, facts, run.pending, d);
    // under -werror a failed run leaves nothing a build could take for a
    // result: no file appears or changes; nor does a run that writes other
    // files than the build declared
    if (run.options.werror && errors_reported(d, run.options.werror))
        return 1;
    if (!run.options.outputs.empty() && !check_declared_outputs(run))
        return 1;
    const int status = errors_reported(d, run.options.werror) || !loaded || verify_differs(run.verify) ? 1 : 0;
    if (run.lot.shared) {
        // a unit's files wait for the lot's other units
        if (status == 0)
            hand_over_unit_files(run);
        return status;
    }
    const PendingFile* failed = nullptr;
    if (!commit_pending_files(run.pending, failed))
        fatal(d, "error writing %s file '%s': %s", role_word(failed->role), failed->name.c_str(),
              std::strerror(errno));
    return status;
}

// The one place every run ends: output and map files that a good end did not
// commit are removed, and every input is closed.
void close_run_files(Run& run)
{
    stop_set_workers(run.output);
    stop_span_hasher(run.values);
    close_inputs(run.input);
    close_inserts(run.inserts);
    close_verify(run.verify);
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
