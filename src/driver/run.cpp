#include "driver/run.h"

#include <cstdio>
#include <new>

#include "boot/buffer.h"
#include "boot/table.h"
#include "cmdfile/lexer.h"
#include "cmdfile/parser.h"
#include "coff/loader.h"
#include "coff/sym.h"
#include "driver/diagnostics.h"
#include "driver/file_uses.h"
#include "driver/input.h"
#include "driver/options.h"
#include "driver/walk.h"
#include "memory/datapath.h"
#include "memory/map.h"
#include "memory/ranges.h"
#include "memory/specs.h"
#include "memory/svg_map.h"
#include "memory/translate.h"
#include "output/framework.h"
#include "output/pending.h"
#include "output/writers.h"

namespace khex {

namespace {

int convert(int argc, const char* const* argv)
{
    set_defaults();
    lexer_init();
    clear_symbol_table();
    walk_command_line(argc, argv);
    if (!input.coff_file)
        fatal("no input files");
    resolve_memory();
    check_file_uses();
    if (errors_reported())
        fatal("errors prevent conversion");

    bool loaded = load_coff();
    if (!loaded)
        report_load_failure();
    close_inputs();
    finish_conversion();
    close_map_file();
    write_svg_map();
    commit_pending_files();
    return errors_reported() || !loaded ? 1 : 0;
}

}  // namespace

// The one place every run ends: output and map files that a good end did not
// commit are removed, and every input is closed.
void close_run_files()
{
    close_inputs();
    abandon_output_files();
    options.map_file = nullptr;
    options.svg_file = nullptr;
    discard_pending_files();
    release_parser_stacks();
}

void set_defaults()
{
    close_run_files();
    reset_diagnostics();
    reset_options();
    reset_input();
    reset_walk();
    reset_ranges();
    reset_specs();
    reset_coff();
    reset_translate();
    reset_datapath();
    reset_output();
    reset_truncation_warnings();
    reset_map();
    reset_svg_map();
    reset_boot_table();
    reset_boot_buffer();
}

int run_khex(int argc, const char* const* argv)
{
    int status;
    try {
        try {
            status = convert(argc, argv);
        } catch (const std::bad_alloc&) {
            fatal("out of memory");
        }
    } catch (const RunEnd& end) {
        status = end.status;
    }
    close_run_files();
    std::fflush(stdout);
    return status;
}

}  // namespace khex
