// Conversion settings as the user gave them: the record the command line and
// command files fill, its defaults, and the option handler they share. What
// the run works out from them (byte order, device, boot table origin, entry
// point, ...) is the settled record of memory/translate.h.
#pragma once
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "base/settings.h"
#include "output/formats.h"

namespace khex {

struct Run;

void handle_option(Run& run, const char* text, bool from_command_file);

// Option matching, in the order of its steps; the first step that takes a
// text wins.
enum OptionStep {
    STEP_LETTER = 2,       // a single letter
    STEP_WORD = 3,         // a whole word of the classic options
    STEP_PREFIX = 4,       // a word's beginning
    STEP_LATE_WORD = 5,    // map, bootpage
    STEP_EXTENSION = 6,    // a whole word of khex's own
    STEP_DOUBLE_DASH = 7,  // "--" and the letter after it
};

using OptionHandler = void (*)(Run& run, const char* typed, bool from_command_file);


struct OptionRow {
    const char* word;      // lower case, without the option's dash ("-help" is typed --help)
    OptionHandler handle;
    const char* value;     // what --help shows of its value; nullptr: none
    int group;
    const char* help;      // one line; nullptr: another spelling of the row above it with its handler
};

// What takes an option text (lower case, without its dash): a handler, or a
// word of the output format table; step 0 when nothing does.
struct OptionMatch {
    int step;
    OptionHandler handle;
    int format;                     // the format row a format word selects
    const FormatWord* format_word;
};
OptionMatch match_option(const char* lower);

// A table of option rows, and the rows of the report table (map/reports.h)
// that follow its own: the classic report words (-map) or khex's own.
enum TableReports { NO_REPORTS, CLASSIC_REPORTS, OWN_REPORTS };
struct OptionRows {
    const OptionRow* rows;
    size_t count;
    const char* dashes;   // what the user types before a row's word
    TableReports reports;
};
// The rows of a table, its own and then its reports'.
size_t row_count(const OptionRows& table);
OptionRow row_at(const OptionRows& table, size_t i);

// The words khex added to the classic options, each matched whole.
const OptionRows& extension_options();
// Every table of option rows, in matching order.
std::span<const OptionRows> option_tables();

}  // namespace khex
