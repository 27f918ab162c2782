// Command-file lexer: turns command-file text, or one command-line value, into
// tokens for the directive parser and the option handler.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "base/diagnostics.h"

namespace khex {

enum TokenCode {
    TOK_END = 0,
    TOK_NAME = 1,
    TOK_NUMBER = 2,
    TOK_PAGE = 3,
    TOK_LENGTH = 4,
    TOK_ORIGIN = 5,
    TOK_SECTIONS = 6,
    TOK_FILL = 7,
    TOK_ROMS = 8,
    TOK_FILES = 9,
    TOK_ROMWIDTH = 10,
    TOK_BOOT = 11,
    TOK_DATAWIDTH = 12,
    TOK_PADDR = 13,
    TOK_MEMWIDTH = 14,
    // punctuation tokens are the characters themselves: ( ) , - : = { }
};
constexpr int NO_TOKEN = -1;  // scan_token skipped an illegal character

// A keyword given where a name is wanted counts as that name.
inline bool is_keyword_token(int token)
{
    return token >= TOK_PAGE && token <= TOK_MEMWIDTH;
}
inline bool is_name_token(int token)
{
    return token == TOK_NAME || is_keyword_token(token);
}

constexpr size_t LINE_BUFFER_SIZE = 256;  // 255 characters per read and a NUL

struct TokenValue {
    uint32_t number = 0;          // NUMBER tokens
    const char* text = nullptr;   // NAME tokens (and the spelling of keyword tokens)
};

struct LexerState {
    char buffer[LINE_BUFFER_SIZE] = {};
    int cursor = 0;
    int line = 0;                 // the first line read is line 1
    bool directive_mode = false;  // keywords of the directives are keywords
    FILE* source = nullptr;       // command file being read; none for a command-line value
    TokenValue token;             // the value of the last token scanned
    // Names handed out stay valid for the whole run.
    std::vector<std::unique_ptr<char[]>> pool_blocks;
    size_t pool_used = 0;
};

struct Keyword {
    const char* word;
    int token;
    bool always;  // a keyword at the top level too, not only inside a directive
};
extern const Keyword keyword_table[];
extern const size_t keyword_count;

// The keyword entry for a word in the given context, or nullptr when the word
// is a NAME there.
const Keyword* find_keyword(const char* word, bool directive_mode);

// Starts reading source (a command file, or nothing for a command-line value):
// keyword context off, empty line buffer, line counter 0.
void lexer_reset(LexerState& lexer, FILE* source);
void directive_mode_on(LexerState& lexer);
void directive_mode_off(LexerState& lexer);

// The lexer reports illegal characters as ERRORs.
int next_token(LexerState& lexer, Diagnostics& diagnostics);
bool read_word(LexerState& lexer);
// A word, or the text between double quotes (which may hold blanks).
bool read_word_or_quoted(LexerState& lexer);

// An option's value in a command file: a word, or the text between double
// quotes without them (no escapes), in token.text. The closing quote must
// come on the same line, within the 255 characters the lexer reads at once.
enum class ValueRead { NONE, WORD, QUOTED, UNCLOSED, TOO_LONG };
ValueRead read_value(LexerState& lexer);
// The rest of the current line from the cursor, up to a comment, without
// its blanks; and the same line left unread.
std::string rest_of_line(const LexerState& lexer);
void skip_line(LexerState& lexer);
int lex_string(LexerState& lexer, Diagnostics& diagnostics, const char* text, bool scan_one_token);

// A whole text in the number syntax of command files (decimal, 0x hex, h
// suffix, leading-0 octal, q suffix); false when it is not exactly one number.
bool parse_number(const std::string& text, uint32_t& value);

// Cursor access for the option handler.
bool skip_blanks(LexerState& lexer);
int scan_token(LexerState& lexer, Diagnostics& diagnostics);
char lexer_peek(const LexerState& lexer);
void lexer_advance(LexerState& lexer);

// Echoes the line up to the cursor with a caret under it, then reports ERROR
// "syntax error".
void report_syntax_error(const LexerState& lexer, Diagnostics& diagnostics);

}  // namespace khex
