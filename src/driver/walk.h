// The command-line walk and the value fetches of the option handler, which read
// either the next command-line argument or the next command-file token.
#pragma once
#include <cstdint>

namespace khex {

struct OptionValue {
    int token;          // lexer token code; TOK_END when there is no value
    uint32_t number;    // TOK_NUMBER
    const char* text;   // TOK_NAME (keywords given as values count as names)
};

void reset_walk();
const char* program_name();

OptionValue take_value(bool from_command_file);
// A number, or WARNING "invalid value for -%s option (ignored)" and false.
bool take_number(const char* option_text, bool from_command_file, uint32_t& value);
// The next word up to white space, or nullptr.
const char* take_word(bool from_command_file);

}  // namespace khex
