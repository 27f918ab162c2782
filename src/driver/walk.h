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
    bool value_refused = false;   // the last name or list taken was an ERROR, said already
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
// The value of an option that is or holds a name (of a file, or a text): on
// the command line the whole next argument, blanks included; in a command
// file a word, or a value in double quotes, without them. nullptr when there
// is none, or after an ERROR about it (an unclosed quote, a value longer than
// a command file's line).
const char* take_name(Run& run, bool from_command_file, const char* option);
// The value of an option that is a comma list of fields: the same, but on the
// command line a list that holds no name keeps the first word of the
// argument; in a command file a blank inside an unquoted list is an ERROR,
// and the rest of its line is not read.
const char* take_list(Run& run, bool from_command_file, const char* option, bool holds_names);

}  // namespace khex
