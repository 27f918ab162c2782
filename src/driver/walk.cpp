#include "driver/walk.h"

#include <string>
#include <string_view>

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
    std::string word;  // the last word taken from the command line
};
WalkState walk;

const char* next_argument()
{
    return walk.next < walk.argc ? walk.argv[walk.next++] : nullptr;
}

}  // namespace

void reset_walk()
{
    walk = WalkState{"", nullptr, 0, 0, {}};
}

const char* program_name()
{
    return walk.program;
}

void walk_command_line(int argc, const char* const* argv)
{
    walk = WalkState{argc > 0 ? argv[0] : "", argv, argc, 1, {}};
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

// A word from the command line is taken whole, however long: a file name cut
// short would name another file.
const char* take_word(bool from_command_file)
{
    if (from_command_file)
        return read_word() ? token_value.text : nullptr;
    const char* argument = next_argument();
    if (!argument)
        return nullptr;
    std::string_view text(argument);
    size_t start = text.find_first_not_of(" \t\f\r\n");
    if (start == std::string_view::npos)
        return nullptr;
    size_t end = text.find_first_of(" \t\f\r\n", start);
    walk.word.assign(text.substr(start, end == std::string_view::npos ? end : end - start));
    return walk.word.c_str();
}

}  // namespace khex
