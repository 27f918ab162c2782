#include "driver/walk.h"

#include <cstring>
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

namespace {

// A command file's value, quoted or not; nullptr after an ERROR.
const char* command_file_value(Run& run, const char* option, bool& quoted)
{
    const ValueRead read = read_value(run.lexer);
    quoted = read == ValueRead::QUOTED;
    run.walk.value_refused = read == ValueRead::UNCLOSED || read == ValueRead::TOO_LONG;
    switch (read) {
    case ValueRead::NONE: return nullptr;
    case ValueRead::WORD:
    case ValueRead::QUOTED: return run.lexer.token.text;
    case ValueRead::UNCLOSED:
        report(run.diagnostics, SEVERITY_ERROR, "the value of -%s opens a quote that its line does not close",
               option);
        break;
    case ValueRead::TOO_LONG:
        report(run.diagnostics, SEVERITY_ERROR, "the quoted value of -%s is longer than a command file's line "
                                                "(255 characters)", option);
        break;
    }
    skip_line(run.lexer);
    return nullptr;
}

}  // namespace

const char* take_name(Run& run, bool from_command_file, const char* option)
{
    bool quoted = false;
    run.walk.value_refused = false;
    if (from_command_file)
        return command_file_value(run, option, quoted);
    const char* argument = next_argument(run.walk);
    return argument && argument[0] ? argument : nullptr;
}

const char* take_list(Run& run, bool from_command_file, const char* option, bool holds_names)
{
    run.walk.value_refused = false;
    if (!from_command_file)
        return holds_names ? take_name(run, false, option) : take_word(run, false);
    bool quoted = false;
    const char* value = command_file_value(run, option, quoted);
    if (!value || quoted)
        return value;
    // "a, b" or "a ,b": the list goes on after a blank on the same line
    const std::string rest = rest_of_line(run.lexer);
    const bool cut = (value[0] && value[std::strlen(value) - 1] == ',' && !rest.empty()) || rest.rfind(',', 0) == 0;
    if (!cut)
        return value;
    report(run.diagnostics, SEVERITY_ERROR, "blank inside the value of -%s: write \"%s%s\" without blanks, or quote it",
           option, value, rest.c_str());
    skip_line(run.lexer);
    run.walk.value_refused = true;
    return nullptr;
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
