/* Grammar of command files: options, input names, and the ROMS and SECTIONS
   directives. The actions switch the lexer between its top-level and directive
   keywords and hand every entry on to the parse's sink. */

%code requires {
#include <cstdint>

#include "cmdfile/parser.h"
}

%define api.pure full
%parse-param {khex::CommandParse& parse}
%lex-param {khex::CommandParse& parse}

%code {
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// Stacks grow inside yyparse, where the parse is at hand.
#define YYMALLOC(size) khex::parser_stack_alloc(parse.parser, size)
#define YYFREE(block) khex::parser_stack_free(parse.parser, block)

namespace {

using khex::Command;

int yylex(YYSTYPE* value, khex::CommandParse& parse);
void yyerror(khex::CommandParse& parse, const char*);
void skip_rest_of_line(khex::CommandParse& parse);
void double_dash_option(khex::CommandParse& parse, const char* word);

void say(khex::CommandParse& parse, Command command, const char* text = nullptr, uint32_t number = 0)
{
    parse.sink(khex::CommandEntry{command, text, number});
}

}  // namespace
}

%union {
    uint32_t number;
    const char* text;
}

%token <text> NAME
%token <number> NUMBER
%token PAGE LENGTH ORIGIN SECTIONS FILL ROMS FILES ROMWIDTH BOOT DATAWIDTH PADDR MEMWIDTH

%type <number> value

%%

command_file
    : statement_list
    ;

statement_list
    : %empty
    | statement_list statement
    ;

statement
    : option
    | input_name
    | roms_directive
    | sections_directive
    | error                     { skip_rest_of_line(parse); yyerrok; yyclearin; }
    ;

option
    : '-' NAME                  { say(parse, Command::OPTION, $2); }
    | '-' '-' NAME              { double_dash_option(parse, $3); }
    ;

input_name
    : NAME                      { say(parse, Command::INPUT, $1); }
    ;

roms_directive
    : roms_keyword '{' roms_entries '}'     { khex::directive_mode_off(parse.lexer); }
    ;

roms_keyword
    : ROMS                      { khex::directive_mode_on(parse.lexer); say(parse, Command::ROMS); }
    ;

roms_entries
    : roms_entry
    | roms_entries roms_entry
    ;

roms_entry
    : range_name colon_opt range_attributes { say(parse, Command::RANGE_END); }
    | PAGE NUMBER ':'           { say(parse, Command::ROMS_PAGE, nullptr, $2); }
    | error
    ;

range_name
    : NAME                      { say(parse, Command::RANGE, $1); }
    ;

range_attributes
    : range_attribute
    | range_attributes comma_opt range_attribute
    ;

range_attribute
    : ORIGIN equals_opt value   { say(parse, Command::RANGE_ORIGIN, nullptr, $3); }
    | LENGTH equals_opt value   { say(parse, Command::RANGE_LENGTH, nullptr, $3); }
    | ROMWIDTH equals_opt value { say(parse, Command::RANGE_ROMWIDTH, nullptr, $3); }
    | MEMWIDTH equals_opt value { say(parse, Command::RANGE_MEMWIDTH, nullptr, $3); }
    | FILL equals_opt value     { say(parse, Command::RANGE_FILL, nullptr, $3); }
    | files_keyword equals_opt '{' file_names '}'   { khex::directive_mode_on(parse.lexer); }
    ;

files_keyword
    : FILES                     { khex::directive_mode_off(parse.lexer); }
    ;

file_names
    : NAME                      { say(parse, Command::RANGE_FILE, $1); }
    | file_names comma_opt NAME { say(parse, Command::RANGE_FILE, $3); }
    ;

sections_directive
    : sections_keyword '{' section_entries '}'  { khex::directive_mode_off(parse.lexer); }
    ;

sections_keyword
    : SECTIONS                  { khex::directive_mode_on(parse.lexer); say(parse, Command::SECTIONS); }
    ;

section_entries
    : section_entry
    | section_entries section_entry
    ;

section_entry
    : section_head comma_opt    { say(parse, Command::SECTION_END); }
    | section_name colon_opt section_attributes { say(parse, Command::SECTION_END); }
    | error
    ;

section_head
    : section_name boot_mark    { say(parse, Command::SECTION_BOOT); }
    | section_name colon_opt
    ;

section_name
    : NAME                      { say(parse, Command::SECTION, $1); }
    ;

boot_mark
    : BOOT
    | '=' BOOT
    | ':' BOOT
    | '(' BOOT ')'
    ;

section_attributes
    : section_attribute
    | section_attributes comma_opt section_attribute
    ;

section_attribute
    : PADDR equals_opt value    { say(parse, Command::SECTION_PADDR, nullptr, $3); }
    | PADDR equals_opt BOOT     { say(parse, Command::SECTION_BOOT); }
    | DATAWIDTH equals_opt value    { say(parse, Command::SECTION_DATAWIDTH, nullptr, $3); }
    ;

value
    : NUMBER
    | '(' value ')'             { $$ = $2; }
    ;

equals_opt
    : '='
    | %empty
    ;

comma_opt
    : ','
    | %empty
    ;

colon_opt
    : ':'
    | %empty
    ;

%%

namespace {

// The lexer's token codes in the order of its TokenCode values 1..14.
const int KEYWORD_TOKENS[] = {
    NAME, NUMBER, PAGE, LENGTH, ORIGIN, SECTIONS, FILL, ROMS,
    FILES, ROMWIDTH, BOOT, DATAWIDTH, PADDR, MEMWIDTH,
};

int yylex(YYSTYPE* value, khex::CommandParse& parse)
{
    int token = khex::next_token(parse.lexer, parse.diagnostics);
    switch (token) {
    case khex::TOK_END:
        return 0;
    case khex::TOK_NAME:
        value->text = parse.lexer.token.text;
        return NAME;
    case khex::TOK_NUMBER:
        value->number = parse.lexer.token.number;
        return NUMBER;
    default:
        if (khex::is_keyword_token(token))
            return KEYWORD_TOKENS[token - 1];
        return token;  // punctuation is its own character
    }
}

void yyerror(khex::CommandParse& parse, const char*)
{
    khex::report_syntax_error(parse.lexer, parse.diagnostics);
}

// Recovery from a faulty top-level statement: drop the tokens of the current
// line and the first token of the next one.
void skip_rest_of_line(khex::CommandParse& parse)
{
    int line = parse.lexer.line;
    while (khex::next_token(parse.lexer, parse.diagnostics) != khex::TOK_END && parse.lexer.line == line) {
    }
}

// "- - word" reaches the handler as "-word", the word cut to 14 characters.
void double_dash_option(khex::CommandParse& parse, const char* word)
{
    std::string text = "-";
    text.append(word, std::min<size_t>(std::strlen(word), 14));
    say(parse, Command::OPTION, text.c_str());
}

}  // namespace

namespace khex {

int parse_command_file(CommandParse& parse)
{
    return yyparse(parse);
}

void* parser_stack_alloc(ParserState& parser, size_t size)
{
    void* block = std::malloc(size);
    if (block)
        parser.grown_stacks.push_back(block);
    return block;
}

void parser_stack_free(ParserState& parser, void* block)
{
    std::erase(parser.grown_stacks, block);
    std::free(block);
}

void release_parser_stacks(ParserState& parser)
{
    for (void* block : parser.grown_stacks)
        std::free(block);
    parser.grown_stacks.clear();
}

}  // namespace khex
