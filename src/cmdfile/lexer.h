// Command-file lexer: turns command-file text, or one command-line value, into
// tokens for the directive parser and the option handler.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

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

constexpr size_t LINE_BUFFER_SIZE = 256;  // 255 characters per read and a NUL

struct TokenValue {
    uint32_t number;   // NUMBER tokens
    const char* text;  // NAME tokens (and the spelling of keyword tokens)
};
extern TokenValue token_value;

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

void lexer_init();
void lexer_reset(FILE* source);
void directive_mode_on();
void directive_mode_off();

int next_token();
bool read_word();
int lex_string(const char* text, bool scan_one_token);

// Cursor access for the option handler.
bool skip_blanks();
int scan_token();
char lexer_peek();
void lexer_advance();

// What diagnostics show.
int lexer_line();
int lexer_cursor();
const char* lexer_buffer();

}  // namespace khex
