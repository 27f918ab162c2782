#include "cmdfile/lexer.h"

#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "driver/diagnostics.h"

namespace khex {

TokenValue token_value;

namespace {

constexpr size_t POOL_BLOCK_SIZE = 1024;

struct LexerState {
    char buffer[LINE_BUFFER_SIZE];
    int cursor;
    int line;
    bool directive_mode;
    FILE* source;  // command file being read; none for a command-line value
    bool identifier[256];
    // Names handed out stay valid for the whole run.
    std::vector<std::unique_ptr<char[]>> pool_blocks;
    size_t pool_used;
};
LexerState lexer;

bool is_identifier(unsigned char c)
{
    return lexer.identifier[c] && (c != ':' || !lexer.directive_mode);
}

const char* pool_copy(const char* text, size_t length)
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
bool read_line()
{
    if (!lexer.source)
        return false;
    if (!std::fgets(lexer.buffer, sizeof lexer.buffer, lexer.source))
        return false;
    ++lexer.line;
    lexer.cursor = 0;
    return true;
}

char at(int offset)
{
    return lexer.buffer[lexer.cursor + offset];
}

int word_token(const char* start, size_t length)
{
    char word[LINE_BUFFER_SIZE];
    std::memcpy(word, start, length);
    word[length] = '\0';
    if (const Keyword* keyword = find_keyword(word, lexer.directive_mode)) {
        token_value.text = keyword->word;
        return keyword->token;
    }
    token_value.text = pool_copy(word, length);
    return TOK_NAME;
}

int scan_word()
{
    int start = lexer.cursor;
    for (;;) {
        unsigned char c = at(0);
        if (!is_identifier(c))
            break;
        // A colon or slash belongs to the word only when more of it follows.
        if ((c == ':' || c == '/') && !is_identifier(static_cast<unsigned char>(at(1))))
            break;
        ++lexer.cursor;
    }
    return word_token(lexer.buffer + start, lexer.cursor - start);
}

int scan_quoted()
{
    ++lexer.cursor;
    int start = lexer.cursor;
    while (at(0) != '"' && at(0) != '\n' && at(0) != '\f' && at(0) != '\0')
        ++lexer.cursor;
    int end = lexer.cursor;
    if (at(0) == '"')
        ++lexer.cursor;
    return word_token(lexer.buffer + start, end - start);
}

int digit_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Accumulates the leading digits of [p, end) that are valid in the radix;
// returns the position after the last one used. The value wraps at 32 bits.
int accumulate(int p, int end, uint32_t radix, uint32_t& value)
{
    value = 0;
    for (; p < end; ++p) {
        int digit = digit_value(lexer.buffer[p]);
        if (digit < 0 || static_cast<uint32_t>(digit) >= radix)
            break;
        value = value * radix + static_cast<uint32_t>(digit);
    }
    return p;
}

// Numbers: 0x prefix, h/H suffix, leading-0 octal or q/Q suffix, else decimal.
// Malformed runs (1a2, 018) give their leading valid digits; the rest of the
// run is left for the next token.
int scan_number()
{
    int p = lexer.cursor;
    const char* b = lexer.buffer;
    if (b[p] == '0' && b[p + 1] == 'x' && digit_value(b[p + 2]) >= 0) {
        int end = p + 2;
        while (digit_value(b[end]) >= 0)
            ++end;
        lexer.cursor = accumulate(p + 2, end, 16, token_value.number);
        return TOK_NUMBER;
    }
    bool octal = b[p] == '0' && b[p + 1] >= '0' && b[p + 1] <= '7';
    if (octal)
        ++p;
    int end = p;
    while (digit_value(b[end]) >= 0)
        ++end;
    char suffix = b[end];
    if (suffix == 'h' || suffix == 'H') {
        accumulate(p, end, 16, token_value.number);
        lexer.cursor = end + 1;
        return TOK_NUMBER;
    }
    if (suffix == 'q' || suffix == 'Q') {
        uint32_t value;
        if (accumulate(p, end, 8, value) == end) {
            token_value.number = value;
            lexer.cursor = end + 1;
            return TOK_NUMBER;
        }
    }
    lexer.cursor = accumulate(p, end, octal ? 8 : 10, token_value.number);
    return TOK_NUMBER;
}

}  // namespace

void lexer_init()
{
    std::memset(lexer.identifier, 0, sizeof lexer.identifier);
    for (int c = 'A'; c <= 'Z'; ++c)
        lexer.identifier[c] = lexer.identifier[c - 'A' + 'a'] = true;
    for (int c = '0'; c <= '9'; ++c)
        lexer.identifier[c] = true;
    for (unsigned char c : std::string_view("/._$[]~:\\"))
        lexer.identifier[c] = true;
    lexer.pool_blocks.clear();
    lexer.pool_used = 0;
    token_value = TokenValue{0, nullptr};
    lexer_reset(nullptr);
}

void lexer_reset(FILE* source)
{
    lexer.directive_mode = false;
    lexer.buffer[0] = '\0';
    lexer.cursor = 0;
    lexer.line = 0;
    lexer.source = source;
}

void directive_mode_on()
{
    lexer.directive_mode = true;
}

void directive_mode_off()
{
    lexer.directive_mode = false;
}

bool skip_blanks()
{
    bool in_comment = false;
    for (;;) {
        char c = at(0);
        if (c == '\0' || c == '\n' || c == '\r') {
            if (!read_line())
                return false;
            continue;
        }
        if (in_comment) {
            if (c == '*' && at(1) == '/') {
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
        } else if (c == '/' && at(1) == '*') {
            lexer.cursor += 2;
            in_comment = true;
        } else {
            return true;
        }
    }
}

int scan_token()
{
    unsigned char c = at(0);
    if (c >= '0' && c <= '9')
        return scan_number();
    if (is_identifier(c)) {
        bool lone = (c == '.' || c == '/' || c == ':') && !is_identifier(static_cast<unsigned char>(at(1)));
        if (!lone)
            return scan_word();
    }
    if (c == '"')
        return scan_quoted();
    if (c != '\0' && std::strchr("(),-:={}", c)) {
        ++lexer.cursor;
        return c;
    }
    report(SEVERITY_ERROR, "illegal input character: 0x%02X", c);
    ++lexer.cursor;
    return NO_TOKEN;
}

int next_token()
{
    while (skip_blanks()) {
        int token = scan_token();
        if (token != NO_TOKEN)
            return token;
    }
    return TOK_END;
}

bool read_word()
{
    if (!skip_blanks())
        return false;
    int start = lexer.cursor;
    while (!std::strchr(" \t\f\r\n", at(0)))  // strchr also stops at the NUL
        ++lexer.cursor;
    token_value.text = pool_copy(lexer.buffer + start, lexer.cursor - start);
    return true;
}

int lex_string(const char* text, bool scan_one_token)
{
    lexer_reset(nullptr);
    std::strncpy(lexer.buffer, text, LINE_BUFFER_SIZE - 1);
    lexer.buffer[LINE_BUFFER_SIZE - 1] = '\0';
    if (!scan_one_token)
        return read_word() ? TOK_NAME : TOK_END;
    if (at(0) == '\0')
        return TOK_END;
    return scan_token();
}

char lexer_peek()
{
    return at(0);
}

void lexer_advance()
{
    if (at(0) != '\0')
        ++lexer.cursor;
}

int lexer_line()
{
    return lexer.line;
}

int lexer_cursor()
{
    return lexer.cursor;
}

const char* lexer_buffer()
{
    return lexer.buffer;
}

}  // namespace khex
