#include "base/diagnostics.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>


namespace khex {

namespace {

constexpr int LINE_WIDTH = 80;
constexpr size_t PREFIX_LIMIT = 256;  // prefix and label, NUL included
constexpr size_t TEXT_LIMIT = 512;    // text and " (aborting)", NUL included

const char* severity_label(int severity)
{
    switch (severity) {
    case SEVERITY_INFO: return "   INFO:";
    case SEVERITY_WARNING: return "WARNING:";
    case SEVERITY_ERROR: return "  ERROR:";
    case SEVERITY_FATAL: return "FATAL ERROR:";
    case SEVERITY_INTERNAL: return "INTERNAL ERROR:";
    default: return "";
    }
}

[[gnu::format(printf, 3, 0)]] void vreport(Diagnostics& d, int severity, const char* format, va_list args)
{
    if (d.muted) {
        if (severity == SEVERITY_FATAL || severity == SEVERITY_INTERNAL)
            end_run(1);
        return;
    }
    if (!d.held) {
        std::fflush(d.console.out);
        std::fflush(d.console.err);
    }

    char prefix[PREFIX_LIMIT];
    if (const std::string* file = d.location.command_file)
        std::snprintf(prefix, sizeof prefix, "\"%s\", line %d: %s", file->c_str(), *d.location.line,
                      severity_label(severity));
    else
        std::snprintf(prefix, sizeof prefix, ">> %s", severity_label(severity));

    char text[TEXT_LIMIT];
    std::vsnprintf(text, sizeof text, format, args);
    if (severity == SEVERITY_FATAL)
        std::strncat(text, " (aborting)", sizeof text - 1 - std::strlen(text));

    std::string message = wrap_message(prefix, text);
    if (d.held) {
        *d.held += message;
    } else {
        std::fflush(d.console.out);
        std::fwrite(message.data(), 1, message.size(), d.console.err);
        std::fflush(d.console.err);
    }

    if (severity == SEVERITY_FATAL || severity == SEVERITY_INTERNAL)
        end_run(1);
    if (severity >= SEVERITY_INFO && severity <= SEVERITY_ERROR)
        d.max_severity = std::max(d.max_severity, severity);
    d.warnings += severity == SEVERITY_WARNING;
    d.errors += severity == SEVERITY_ERROR;
}

}  // namespace

void end_run(int status)
{
    throw RunEnd{status};
}

bool errors_reported(const Diagnostics& diagnostics, bool werror)
{
    const int max = diagnostics.max_severity;
    return max > SEVERITY_WARNING || (werror && max == SEVERITY_WARNING);
}

void report(Diagnostics& diagnostics, int severity, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vreport(diagnostics, severity, format, args);
    va_end(args);
}

void fatal(Diagnostics& diagnostics, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vreport(diagnostics, SEVERITY_FATAL, format, args);
    va_end(args);
    end_run(1);  // not reached: vreport ends the run for this level
}

void internal_error(Diagnostics& diagnostics, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vreport(diagnostics, SEVERITY_INTERNAL, format, args);
    va_end(args);
    end_run(1);
}

// The first line holds the prefix and a blank; a prefix that leaves less than 15
// columns goes on a line of its own. Each break consumes exactly one blank;
// newlines inside the text are written as they stand and are not breaks.
std::string wrap_message(const std::string& prefix, const std::string& text)
{
    std::string out = prefix;
    size_t w = prefix.size() + 1;
    if (w > 65) {
        out += "\n         ";
        w = 11;
    } else {
        out += ' ';
    }
    const size_t r = LINE_WIDTH - w;
    const size_t n = text.size();
    if (n == 0)
        return out + '\n';

    size_t s = 0;
    size_t e = std::min(r, n);
    for (;;) {
        size_t b = e;
        while (b > s && !(b == n || text[b] == ' '))
            --b;
        if (b == s) {
            b = e;
            while (b < n && text[b] != ' ')
                ++b;
            if (b == n) {
                out.append(text, s, n - s);
                return out + '\n';
            }
        }
        out.append(text, s, b - s);
        s = b + 1;
        e = std::min(b + r, n);
        if (s >= n)
            return out + '\n';
        out += '\n';
        out.append(w, ' ');
    }
}

bool is_power_of_two(uint32_t value)
{
    return value != 0 && (value & (value - 1)) == 0;
}

void trace(const Diagnostics& diagnostics, const char* format, ...)
{
    if (diagnostics.muted)
        return;
    va_list args;
    va_start(args, format);
    std::vfprintf(diagnostics.console.out, format, args);
    va_end(args);
}

}  // namespace khex
