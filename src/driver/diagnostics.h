// Diagnostics: the one way any part of khex reports a problem, and the small
// helpers every module shares.
#pragma once
#include <cstdint>
#include <string>

namespace khex {

enum Severity {
    SEVERITY_INFO = 1,
    SEVERITY_WARNING = 2,
    SEVERITY_ERROR = 3,
    SEVERITY_FATAL = 4,
    SEVERITY_INTERNAL = 5,
};

struct Diagnostics {
    int max_severity = 0;              // highest of the levels 1..3 reported so far
    bool warnings_are_errors = false;  // -werror
};
extern Diagnostics diagnostics;

// Thrown to end the run early: fatal and internal errors, the usage text and the
// few direct exits unwind to run_khex, which closes every file and returns status.
struct RunEnd {
    int status;
};
[[noreturn]] void end_run(int status);

void reset_diagnostics();

// An ERROR was reported, or a WARNING under -werror: the run fails.
bool errors_reported();

// printf-style report with a location prefix and a severity label, wrapped at 80
// columns on standard error. Levels 4 and 5 end the run.
[[gnu::format(printf, 2, 3)]] void report(int severity, const char* format, ...);
[[noreturn, gnu::format(printf, 1, 2)]] void fatal(const char* format, ...);
[[noreturn, gnu::format(printf, 1, 2)]] void internal_error(const char* format, ...);

// Echoes the command-file line up to the lexer's cursor with a caret under it,
// then reports ERROR "syntax error".
void report_syntax_error();

// The 80-column layout of one message: prefix, blank, text broken at blanks.
std::string wrap_message(const std::string& prefix, const std::string& text);

bool is_power_of_two(uint32_t value);

// Trace lines of --v and --s go to standard output.
[[gnu::format(printf, 1, 2)]] void trace(const char* format, ...);

}  // namespace khex
