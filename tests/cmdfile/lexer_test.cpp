#include "cmdfile/lexer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "test_run.h"

using namespace khex;

namespace {

struct Token {
    int code;
    std::string text;
    uint32_t number;
    int line;
    bool operator==(const Token&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Token& t)
{
    return os << "{" << t.code << ", \"" << t.text << "\", " << t.number << ", line " << t.line << "}";
}

Token name(const std::string& text, int line = 1) { return {TOK_NAME, text, 0, line}; }
Token number(uint32_t value, int line = 1) { return {TOK_NUMBER, "", value, line}; }
Token token(int code, int line = 1) { return {code, "", 0, line}; }

// Scans a whole text as a command file; what the lexer reported goes to err.
std::vector<Token> scan(const std::string& text, bool directive = false, std::string* err = nullptr)
{
    khextest::TestRun run;
    FILE* f = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), f);
    std::rewind(f);
    lexer_reset(run->lexer, f);
    if (directive)
        directive_mode_on(run->lexer);
    std::vector<Token> tokens;
    for (int code; (code = next_token(run->lexer, run->diagnostics)) != TOK_END;) {
        Token t{code, "", 0, run->lexer.line};
        if (code == TOK_NAME)
            t.text = run->lexer.token.text;
        if (code == TOK_NUMBER)
            t.number = run->lexer.token.number;
        tokens.push_back(t);
    }
    std::fclose(f);
    if (err)
        *err = run.console().err;
    return tokens;
}

uint32_t value_of(const char* text)
{
    khextest::TestRun run;
    EXPECT_EQ(lex_string(run->lexer, run->diagnostics, text, true), TOK_NUMBER) << text;
    return run->lexer.token.number;
}

TEST(LexerNumbers, EveryRadixSpellingOfOneHundred)
{
    for (const char* text : {"100", "0x64", "64h", "64H", "0144", "144q", "144Q"})
        EXPECT_EQ(value_of(text), 100u) << text;
}

TEST(LexerNumbers, SuffixesAndLeadingZeros)
{
    EXPECT_EQ(value_of("12h"), 18u);
    EXPECT_EQ(value_of("12"), 12u);
    EXPECT_EQ(value_of("012"), 10u);
    EXPECT_EQ(value_of("0"), 0u);
    EXPECT_EQ(value_of("08"), 8u);
    EXPECT_EQ(value_of("0ffh"), 255u);
    EXPECT_EQ(value_of("0xFFFFFFFF"), 0xFFFFFFFFu);
    EXPECT_EQ(value_of("0x100000001"), 1u);  // wraps at 32 bits
}

TEST(LexerNumbers, WhatIsLeftAfterANumber)
{
    EXPECT_EQ(scan("19q"), (std::vector<Token>{number(19), name("q")}));
    EXPECT_EQ(scan("0X64"), (std::vector<Token>{number(0), name("X64")}));
    EXPECT_EQ(scan("-5"), (std::vector<Token>{token('-'), number(5)}));
    // malformed runs give their leading valid digits
    EXPECT_EQ(scan("1a2"), (std::vector<Token>{number(1), name("a2")}));
    EXPECT_EQ(scan("018"), (std::vector<Token>{number(1), number(8)}));
}

TEST(LexerWords, KeywordsDependOnTheContext)
{
    EXPECT_EQ(scan("fill origin page ROMS SECTIONS roms"),
              (std::vector<Token>{name("fill"), name("origin"), name("page"), token(TOK_ROMS), token(TOK_SECTIONS),
                                  name("roms")}));
    EXPECT_EQ(scan("f l o w Fill org dw mw", true),
              (std::vector<Token>{token(TOK_FILL), token(TOK_LENGTH), token(TOK_ORIGIN), token(TOK_ROMWIDTH),
                                  name("Fill"), token(TOK_ORIGIN), token(TOK_DATAWIDTH), token(TOK_MEMWIDTH)}));
    EXPECT_EQ(scan("\"fill\" \"a b\"", true), (std::vector<Token>{token(TOK_FILL), name("a b")}));
}

TEST(LexerWords, ColonAndSlashBelongToAWordOnlyBeforeMoreOfIt)
{
    EXPECT_EQ(scan("-v7734:3 c:\\dir\\app.out name: x"),
              (std::vector<Token>{token('-'), name("v7734:3"), name("c:\\dir\\app.out"), name("name"), token(':'),
                                  name("x")}));
    EXPECT_EQ(scan("PAGE 1:", true), (std::vector<Token>{token(TOK_PAGE), number(1), token(':')}));
    EXPECT_EQ(scan("a:b", true), (std::vector<Token>{name("a"), token(':'), name("b")}));
    EXPECT_EQ(scan("dir/file ./x"), (std::vector<Token>{name("dir/file"), name("./x")}));
}

TEST(LexerWords, QuotedWordsEndAtTheQuoteOrTheLine)
{
    EXPECT_EQ(scan("\"my file.cmd\" next"), (std::vector<Token>{name("my file.cmd"), name("next")}));
    EXPECT_EQ(scan("\"unclosed name\nnext"), (std::vector<Token>{name("unclosed name"), name("next", 2)}));
}

TEST(LexerComments, SpanLinesAndTextAfterThemIsScanned)
{
    EXPECT_EQ(scan("a /* one\ntwo\nthree */ b\nc"),
              (std::vector<Token>{name("a"), name("b", 3), name("c", 4)}));
    EXPECT_EQ(scan("a /* never closed\n b"), (std::vector<Token>{name("a")}));
}

TEST(LexerLines, LongLinesAreReadInPiecesOf255)
{
    std::string line = std::string(254, ' ') + "ab" + std::string(44, ' ') + "\nc";
    // "a" ends the first piece of 255 characters, "b" starts the second
    EXPECT_EQ(scan(line), (std::vector<Token>{name("a"), name("b", 2), name("c", 3)}));
}

TEST(LexerLines, CarriageReturnEndsTheLine)
{
    EXPECT_EQ(scan("a\rignored\nb"), (std::vector<Token>{name("a"), name("b", 2)}));
}

TEST(LexerErrors, IllegalCharactersAreReportedAndSkipped)
{
    std::string err;
    std::vector<Token> tokens = scan("a # b \x80 .", false, &err);
    EXPECT_EQ(tokens, (std::vector<Token>{name("a"), name("b")}));
    EXPECT_EQ(err,
              ">>   ERROR: illegal input character: 0x23\n"
              ">>   ERROR: illegal input character: 0x80\n"
              ">>   ERROR: illegal input character: 0x2E\n");
}

TEST(LexerPunctuation, EveryPunctuationToken)
{
    EXPECT_EQ(scan("( ) , - : = { }", true),
              (std::vector<Token>{token('('), token(')'), token(','), token('-'), token(':'), token('='), token('{'),
                                  token('}')}));
}

TEST(LexString, ScansOneTokenAndKeepsTheRest)
{
    khextest::TestRun run;
    EXPECT_EQ(lex_string(run->lexer, run->diagnostics, "0x100,5", true), TOK_NUMBER);
    EXPECT_EQ(run->lexer.token.number, 0x100u);
    EXPECT_EQ(lexer_peek(run->lexer), ',');
    EXPECT_EQ(lex_string(run->lexer, run->diagnostics, "some word", false), TOK_NAME);
    EXPECT_STREQ(run->lexer.token.text, "some");
    EXPECT_EQ(lex_string(run->lexer, run->diagnostics, "", true), TOK_END);
}

TEST(KeywordTable, SortedUniqueAndSearchable)
{
    for (size_t i = 1; i < keyword_count; ++i)
        EXPECT_LT(std::strcmp(keyword_table[i - 1].word, keyword_table[i].word), 0) << keyword_table[i].word;
    for (size_t i = 0; i < keyword_count; ++i) {
        const Keyword* k = find_keyword(keyword_table[i].word, true);
        ASSERT_NE(k, nullptr);
        EXPECT_EQ(k, &keyword_table[i]);
        EXPECT_EQ(find_keyword(keyword_table[i].word, false) != nullptr, keyword_table[i].always);
    }
    EXPECT_EQ(keyword_count, 36u);
}

}  // namespace
