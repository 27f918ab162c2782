// Command-file lexer: turns command-file text, or one command-line value, into
// tokens for the directive parser and the option handler.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace khex {

struct Run;

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
void directive_mode_on(Run& run);
void directive_mode_off(Run& run);

int next_token(Run& run);
bool read_word(Run& run);
int lex_string(Run& run, const char* text, bool scan_one_token);

// A whole text in the number syntax of command files (decimal, 0x hex, h
// suffix, leading-0 octal, q suffix); false when it is not exactly one number.
bool parse_number(const std::string& text, uint32_t& value);

// Cursor access for the option handler.
bool skip_blanks(Run& run);
int scan_token(Run& run);
char lexer_peek(const Run& run);
void lexer_advance(Run& run);

}  // namespace khex
