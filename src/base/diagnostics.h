// Diagnostics: the one way any part of khex reports a problem, the console a
// run's messages and progress lines go to, and the small helpers every module
// shares.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

namespace khex {

enum Severity {
    SEVERITY_INFO = 1,
    SEVERITY_WARNING = 2,
    SEVERITY_ERROR = 3,
    SEVERITY_FATAL = 4,
    SEVERITY_INTERNAL = 5,
};

// Where a run's messages go: progress lines, the usage text, the syntax-error
// echo and traces to out, diagnostics to err. Set when the run starts.
struct Console {
    FILE* out;
    FILE* err;
};

// While a command file is parsed, messages name it and the lexer's line.
struct Location {
    const std::string* command_file = nullptr;
    const int* line = nullptr;
};

struct Diagnostics {
    Console console{stdout, stderr};
    Location location;
    int max_severity = 0;  // highest of the levels 1..3 reported so far
    int warnings = 0;      // WARNING messages reported, for the JSON report
    int errors = 0;        // ERROR messages reported
    bool muted = false;    // a pass that says nothing: messages and traces go nowhere, fatal errors still end it
    std::string* held = nullptr;  // messages kept here, not written, until another thread writes them
};

// Thrown to end the run early: fatal and internal errors, the usage text and the
// COFF reader's direct stop unwind to run(), which closes every file and
// returns the status.
struct RunEnd {
    int status;
};

// The status of a run that the COFF reader stopped directly, without a
// diagnostic (a long section name and no string table); the program exits
// with -1 then, which a POSIX shell sees as 255.
constexpr int DIRECT_STOP_STATUS = 255;
[[noreturn]] void end_run(int status);

// An ERROR was reported, or a WARNING under -werror: the run fails.
bool errors_reported(const Diagnostics& diagnostics, bool werror);

// printf-style report with a location prefix and a severity label, wrapped at 80
// columns on the console's error stream. Levels 4 and 5 end the run.
[[gnu::format(printf, 3, 4)]] void report(Diagnostics& diagnostics, int severity, const char* format, ...);
[[noreturn, gnu::format(printf, 2, 3)]] void fatal(Diagnostics& diagnostics, const char* format, ...);
[[noreturn, gnu::format(printf, 2, 3)]] void internal_error(Diagnostics& diagnostics, const char* format, ...);

// The 80-column layout of one message: prefix, blank, text broken at blanks.
std::string wrap_message(const std::string& prefix, const std::string& text);

bool is_power_of_two(uint32_t value);

// Trace lines of --v and --s go to the console's output stream.
[[gnu::format(printf, 2, 3)]] void trace(const Diagnostics& diagnostics, const char* format, ...);

}  // namespace khex
