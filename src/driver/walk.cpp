#include "driver/walk.h"

#include <string_view>

#include "driver/options.h"
#include "driver/run.h"
#include "driver/usage.h"

namespace khex {

namespace {

const char* next_argument(WalkState& walk)
{
    return walk.next < walk.argc ? walk.argv[walk.next++] : nullptr;
}

}  // namespace

void walk_command_line(Run& run, int argc, const char* const* argv)
{
    run.walk = WalkState{argc > 0 ? argv[0] : "", argv, argc, 1, {}};
    int files = 0;
    while (const char* argument = next_argument(run.walk)) {
        if (argument[0] == '-') {
            handle_option(run, argument + 1, false);
        } else {
            ++files;
            add_input(run, argument);
        }
    }
    if (files == 0)
        print_usage(run, false);
}

OptionValue take_value(Run& run, bool from_command_file)
{
    int token = TOK_END;
    if (from_command_file) {
        token = next_token(run.lexer, run.diagnostics);
    } else if (const char* argument = next_argument(run.walk)) {
        token = lex_string(run.lexer, run.diagnostics, argument, true);
    }
    if (token == NO_TOKEN)
        token = TOK_END;
    if (is_keyword_token(token))
        token = TOK_NAME;
    return OptionValue{token, run.lexer.token.number, run.lexer.token.text};
}

bool take_number(Run& run, const char* option_text, bool from_command_file, uint32_t& value)
{
    OptionValue v = take_value(run, from_command_file);
    if (v.token != TOK_NUMBER) {
        report(run.diagnostics, SEVERITY_WARNING, "invalid value for -%s option (ignored)", option_text);
        return false;
    }
    value = v.number;
    return true;
}

// A word from the command line is taken whole, however long: a file name cut
// short would name another file.
const char* take_quoted_word(Run& run, bool from_command_file)
{
    if (from_command_file)
        return read_word_or_quoted(run.lexer) ? run.lexer.token.text : nullptr;
    return take_word(run, false);
}

const char* take_word(Run& run, bool from_command_file)
{
    if (from_command_file)
        return read_word(run.lexer) ? run.lexer.token.text : nullptr;
    const char* argument = next_argument(run.walk);
    if (!argument)
        return nullptr;
    std::string_view text(argument);
    size_t start = text.find_first_not_of(" \t\f\r\n");
    if (start == std::string_view::npos)
        return nullptr;
    size_t end = text.find_first_of(" \t\f\r\n", start);
    run.walk.word.assign(text.substr(start, end == std::string_view::npos ? end : end - start));
    return run.walk.word.c_str();
}

}  // namespace khex
