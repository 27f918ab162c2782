// The command-line walk and the value fetches of the option handler, which read
// either the next command-line argument or the next command-file token.
#pragma once
#include <cstdint>
#include <string>

namespace khex {

struct Run;

struct WalkState {
    std::string program;          // argv[0], for the usage text
    const char* const* argv = nullptr;
    int argc = 0;
    int next = 0;                 // index of the next argument
    std::string word;             // the last word taken from the command line
};

struct OptionValue {
    int token;          // lexer token code; TOK_END when there is no value
    uint32_t number;    // TOK_NUMBER
    const char* text;   // TOK_NAME (keywords given as values count as names)
};

void walk_command_line(Run& run, int argc, const char* const* argv);

OptionValue take_value(Run& run, bool from_command_file);
// A number, or WARNING "invalid value for -%s option (ignored)" and false.
bool take_number(Run& run, const char* option_text, bool from_command_file, uint32_t& value);
// The next word up to white space, or nullptr.
const char* take_word(Run& run, bool from_command_file);
// The same; in a command file it may be written in double quotes to hold
// blanks.
const char* take_quoted_word(Run& run, bool from_command_file);

}  // namespace khex
