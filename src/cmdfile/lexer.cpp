#include "cmdfile/lexer.h"

#include <cstring>
#include <string_view>

#include "base/text.h"

namespace khex {

namespace {

constexpr size_t POOL_BLOCK_SIZE = 1024;

// The characters of words: letters, digits and / . _ $ [ ] ~ : \.
struct WordCharacters {
    bool table[256];
    constexpr WordCharacters() : table()
    {
        for (int c = 'A'; c <= 'Z'; ++c)
            table[c] = table[c - 'A' + 'a'] = true;
        for (int c = '0'; c <= '9'; ++c)
            table[c] = true;
        for (unsigned char c : std::string_view("/._$[]~:\\"))
            table[c] = true;
    }
};
constexpr WordCharacters WORD_CHARACTERS;

// A colon ends a word inside a directive, where it separates a name from its
// attributes.
bool is_identifier(const LexerState& lexer, unsigned char c)
{
    return WORD_CHARACTERS.table[c] && (c != ':' || !lexer.directive_mode);
}

const char* pool_copy(LexerState& lexer, const char* text, size_t length)
{
    if (lexer.pool_blocks.empty() || lexer.pool_used + length + 1 > POOL_BLOCK_SIZE) {
        lexer.pool_blocks.push_back(std::make_unique<char[]>(POOL_BLOCK_SIZE));
        lexer.pool_used = 0;
    }
    char* copy = lexer.pool_blocks.back().get() + lexer.pool_used;
    std::memcpy(copy, text, length);
    copy[length] = '\0';
    lexer.pool_used += length + 1;
    return copy;
}

// Reads the next piece of the command file (at most 255 characters); every
// piece counts as a line. At the end of input the buffer keeps its last line.
bool read_line(LexerState& lexer)
{
    if (!lexer.source)
        return false;
    if (!std::fgets(lexer.buffer, sizeof lexer.buffer, lexer.source))
        return false;
    ++lexer.line;
    lexer.cursor = 0;
    return true;
}

char at(const LexerState& lexer, int offset)
{
    return lexer.buffer[lexer.cursor + offset];
}

int word_token(LexerState& lexer, const char* start, size_t length)
{
    char word[LINE_BUFFER_SIZE];
    std::memcpy(word, start, length);
    word[length] = '\0';
    if (const Keyword* keyword = find_keyword(word, lexer.directive_mode)) {
        lexer.token.text = keyword->word;
        return keyword->token;
    }
    lexer.token.text = pool_copy(lexer, word, length);
    return TOK_NAME;
}

int scan_word(LexerState& lexer)
{
    int start = lexer.cursor;
    for (;;) {
        unsigned char c = at(lexer, 0);
        if (!is_identifier(lexer, c))
            break;
        // A colon or slash belongs to the word only when more of it follows.
        if ((c == ':' || c == '/') && !is_identifier(lexer, static_cast<unsigned char>(at(lexer, 1))))
            break;
        ++lexer.cursor;
    }
    return word_token(lexer, lexer.buffer + start, lexer.cursor - start);
}

int scan_quoted(LexerState& lexer)
{
    ++lexer.cursor;
    int start = lexer.cursor;
    while (at(lexer, 0) != '"' && at(lexer, 0) != '\n' && at(lexer, 0) != '\f' && at(lexer, 0) != '\0')
        ++lexer.cursor;
    int end = lexer.cursor;
    if (at(lexer, 0) == '"')
        ++lexer.cursor;
    return word_token(lexer, lexer.buffer + start, end - start);
}

// Accumulates the leading digits of [p, end) that are valid in the radix;
// returns the position after the last one used. The value wraps at 32 bits.
int accumulate(const LexerState& lexer, int p, int end, uint32_t radix, uint32_t& value)
{
    value = 0;
    for (; p < end; ++p) {
        int digit = hex_digit(lexer.buffer[p]);
        if (digit < 0 || static_cast<uint32_t>(digit) >= radix)
            break;
        value = value * radix + static_cast<uint32_t>(digit);
    }
    return p;
}

// Numbers: 0x prefix, h/H suffix, leading-0 octal or q/Q suffix, else decimal.
// Malformed runs (1a2, 018) give their leading valid digits; the rest of the
// run is left for the next token.
int scan_number(LexerState& lexer)
{
    int p = lexer.cursor;
    const char* b = lexer.buffer;
    if (b[p] == '0' && b[p + 1] == 'x' && hex_digit(b[p + 2]) >= 0) {
        int end = p + 2;
        while (hex_digit(b[end]) >= 0)
            ++end;
        lexer.cursor = accumulate(lexer, p + 2, end, 16, lexer.token.number);
        return TOK_NUMBER;
    }
    bool octal = b[p] == '0' && b[p + 1] >= '0' && b[p + 1] <= '7';
    if (octal)
        ++p;
    int end = p;
    while (hex_digit(b[end]) >= 0)
        ++end;
    char suffix = b[end];
    if (suffix == 'h' || suffix == 'H') {
        accumulate(lexer, p, end, 16, lexer.token.number);
        lexer.cursor = end + 1;
        return TOK_NUMBER;
    }
    if (suffix == 'q' || suffix == 'Q') {
        uint32_t value;
        if (accumulate(lexer, p, end, 8, value) == end) {
            lexer.token.number = value;
            lexer.cursor = end + 1;
            return TOK_NUMBER;
        }
    }
    lexer.cursor = accumulate(lexer, p, end, octal ? 8 : 10, lexer.token.number);
    return TOK_NUMBER;
}

}  // namespace

void lexer_reset(LexerState& lexer, FILE* source)
{
    lexer.directive_mode = false;
    lexer.buffer[0] = '\0';
    lexer.cursor = 0;
    lexer.line = 0;
    lexer.source = source;
}

void directive_mode_on(LexerState& lexer)
{
    lexer.directive_mode = true;
}

void directive_mode_off(LexerState& lexer)
{
    lexer.directive_mode = false;
}

bool skip_blanks(LexerState& lexer)
{
    bool in_comment = false;
    for (;;) {
        char c = at(lexer, 0);
        if (c == '\0' || c == '\n' || c == '\r') {
            if (!read_line(lexer))
                return false;
            continue;
        }
        if (in_comment) {
            if (c == '*' && at(lexer, 1) == '/') {
                lexer.cursor += 2;
                in_comment = false;
            } else {
                ++lexer.cursor;
            }
            continue;
        }
        if (c == '\t' || c == '\f') {
            lexer.buffer[lexer.cursor++] = ' ';  // so the syntax-error caret lines up
        } else if (c == ' ') {
            ++lexer.cursor;
        } else if (c == '/' && at(lexer, 1) == '*') {
            lexer.cursor += 2;
            in_comment = true;
        } else {
            return true;
        }
    }
}

int scan_token(LexerState& lexer, Diagnostics& diagnostics)
{
    unsigned char c = at(lexer, 0);
    if (c >= '0' && c <= '9')
        return scan_number(lexer);
    if (is_identifier(lexer, c)) {
        bool lone = (c == '.' || c == '/' || c == ':') && !is_identifier(lexer, static_cast<unsigned char>(at(lexer, 1)));
        if (!lone)
            return scan_word(lexer);
    }
    if (c == '"')
        return scan_quoted(lexer);
    if (c != '\0' && std::strchr("(),-:={}", c)) {
        ++lexer.cursor;
        return c;
    }
    report(diagnostics, SEVERITY_ERROR, "illegal input character: 0x%02X", c);
    ++lexer.cursor;
    return NO_TOKEN;
}

int next_token(LexerState& lexer, Diagnostics& diagnostics)
{
    while (skip_blanks(lexer)) {
        int token = scan_token(lexer, diagnostics);
        if (token != NO_TOKEN)
            return token;
    }
    return TOK_END;
}

bool read_word(LexerState& lexer)
{
    if (!skip_blanks(lexer))
        return false;
    int start = lexer.cursor;
    while (!std::strchr(" \t\f\r\n", at(lexer, 0)))  // strchr also stops at the NUL
        ++lexer.cursor;
    lexer.token.text = pool_copy(lexer, lexer.buffer + start, lexer.cursor - start);
    return true;
}

bool read_word_or_quoted(LexerState& lexer)
{
    if (!skip_blanks(lexer))
        return false;
    if (at(lexer, 0) != '"')
        return read_word(lexer);
    ++lexer.cursor;
    const int start = lexer.cursor;
    while (!std::strchr("\"\n\r", at(lexer, 0)))  // strchr also stops at the NUL
        ++lexer.cursor;
    lexer.token.text = pool_copy(lexer, lexer.buffer + start, static_cast<size_t>(lexer.cursor - start));
    if (at(lexer, 0) == '"')
        ++lexer.cursor;
    return true;
}

ValueRead read_value(LexerState& lexer)
{
    if (!skip_blanks(lexer))
        return ValueRead::NONE;
    if (at(lexer, 0) != '"')
        return read_word(lexer) ? ValueRead::WORD : ValueRead::NONE;
    ++lexer.cursor;
    const int start = lexer.cursor;
    while (!std::strchr("\"\n\r", at(lexer, 0)))  // strchr also stops at the NUL
        ++lexer.cursor;
    if (at(lexer, 0) != '"') {
        // a piece of the line that fills the buffer goes on in the next read
        const size_t length = std::strlen(lexer.buffer);
        const bool cut = length == LINE_BUFFER_SIZE - 1 && lexer.buffer[length - 1] != '\n';
        return cut ? ValueRead::TOO_LONG : ValueRead::UNCLOSED;
    }
    lexer.token.text = pool_copy(lexer, lexer.buffer + start, static_cast<size_t>(lexer.cursor - start));
    ++lexer.cursor;
    return ValueRead::QUOTED;
}

std::string rest_of_line(const LexerState& lexer)
{
    std::string rest;
    for (int i = lexer.cursor; lexer.buffer[i] && !std::strchr("\n\r", lexer.buffer[i]); ++i) {
        if (lexer.buffer[i] == '/' && lexer.buffer[i + 1] == '*')
            break;
        if (!std::strchr(" \t\f", lexer.buffer[i]))
            rest += lexer.buffer[i];
    }
    return rest;
}

void skip_line(LexerState& lexer)
{
    lexer.cursor = static_cast<int>(std::strlen(lexer.buffer));
}

int lex_string(LexerState& lexer, Diagnostics& diagnostics, const char* text, bool scan_one_token)
{
    lexer_reset(lexer, nullptr);
    std::strncpy(lexer.buffer, text, LINE_BUFFER_SIZE - 1);
    lexer.buffer[LINE_BUFFER_SIZE - 1] = '\0';
    if (!scan_one_token)
        return read_word(lexer) ? TOK_NAME : TOK_END;
    if (at(lexer, 0) == '\0')
        return TOK_END;
    return scan_token(lexer, diagnostics);
}

bool parse_number(const std::string& text, uint32_t& value)
{
    if (text.empty() || text.size() >= LINE_BUFFER_SIZE || text[0] < '0' || text[0] > '9')
        return false;
    LexerState lexer;
    std::memcpy(lexer.buffer, text.c_str(), text.size() + 1);
    scan_number(lexer);
    value = lexer.token.number;
    return static_cast<size_t>(lexer.cursor) == text.size();
}

char lexer_peek(const LexerState& lexer)
{
    return at(lexer, 0);
}

void lexer_advance(LexerState& lexer)
{
    if (at(lexer, 0) != '\0')
        ++lexer.cursor;
}

void report_syntax_error(const LexerState& lexer, Diagnostics& diagnostics)
{
    const int cursor = lexer.cursor;
    std::fprintf(diagnostics.console.out, "%.*s\n", cursor, lexer.buffer);
    std::fprintf(diagnostics.console.out, "%*s^\n", cursor, "");
    report(diagnostics, SEVERITY_ERROR, "syntax error");
}

}  // namespace khex
