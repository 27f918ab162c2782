// The usage text of -h, and the help and version texts of --help and --version.
// Each ends the run.
#pragma once
#include <string>

namespace khex {

struct Run;

// The short text (no file argument) or the full one (-h); status 1.
[[noreturn]] void print_usage(Run& run, bool full);
// --help: the full usage text, status 0; --version: "khex <version>", status 0.
[[noreturn]] void print_help(Run& run);
[[noreturn]] void print_version(Run& run);

// The text of --help, made from the option tables and the format table.
std::string help_text(const std::string& program);

}  // namespace khex
