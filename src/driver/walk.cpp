#include "driver/walk.h"

#include "cmdfile/lexer.h"
#include "driver/diagnostics.h"
#include "driver/input.h"
#include "driver/options.h"

namespace khex {

namespace {

struct WalkState {
    const char* program;
    const char* const* argv;
    int argc;
    int next;  // index of the next argument
};
WalkState walk;

const char* next_argument()
{
    return walk.next < walk.argc ? walk.argv[walk.next++] : nullptr;
}

}  // namespace

void reset_walk()
{
    walk = WalkState{"", nullptr, 0, 0};
}

const char* program_name()
{
    return walk.program;
}

void walk_command_line(int argc, const char* const* argv)
{
    walk = WalkState{argc > 0 ? argv[0] : "", argv, argc, 1};
    int files = 0;
    while (const char* argument = next_argument()) {
        if (argument[0] == '-') {
            handle_option(argument + 1, false);
        } else {
            ++files;
            add_input(argument);
        }
    }
    if (files == 0)
        print_usage(false);
}

OptionValue take_value(bool from_command_file)
{
    int token = TOK_END;
    if (from_command_file) {
        token = next_token();
    } else if (const char* argument = next_argument()) {
        token = lex_string(argument, true);
    }
    if (token == NO_TOKEN)
        token = TOK_END;
    if (token >= TOK_PAGE && token <= TOK_MEMWIDTH)
        token = TOK_NAME;
    return OptionValue{token, token_value.number, token_value.text};
}

bool take_number(const char* option_text, bool from_command_file, uint32_t& value)
{
    OptionValue v = take_value(from_command_file);
    if (v.token != TOK_NUMBER) {
        report(SEVERITY_WARNING, "invalid value for -%s option (ignored)", option_text);
        return false;
    }
    value = v.number;
    return true;
}

const char* take_word(bool from_command_file)
{
    if (from_command_file)
        return read_word() ? token_value.text : nullptr;
    const char* argument = next_argument();
    if (!argument)
        return nullptr;
    return lex_string(argument, false) == TOK_NAME ? token_value.text : nullptr;
}

}  // namespace khex
