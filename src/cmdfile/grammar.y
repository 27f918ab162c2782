/* Grammar of command files: options, input names, and the ROMS and SECTIONS
   directives. The actions hand everything on to the option handler, input-file
   handling and the directive handlers. */

%code requires {
#include <cstdint>
namespace khex {
struct Run;
}
}

%define api.pure full
%parse-param {khex::Run& run}
%lex-param {khex::Run& run}

%code {
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "driver/run.h"

// Stacks grow inside yyparse, where the run is at hand.
#define YYMALLOC(size) khex::parser_stack_alloc(run, size)
#define YYFREE(block) khex::parser_stack_free(run, block)

namespace {

int yylex(YYSTYPE* value, khex::Run& run);
void yyerror(khex::Run& run, const char*);
void skip_rest_of_line(khex::Run& run);
void double_dash_option(khex::Run& run, const char* word);

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
    | error                     { skip_rest_of_line(run); yyerrok; yyclearin; }
    ;

option
    : '-' NAME                  { khex::handle_option(run, $2, true); }
    | '-' '-' NAME              { double_dash_option(run, $3); }
    ;

input_name
    : NAME                      { khex::add_input(run, $1); }
    ;

roms_directive
    : roms_keyword '{' roms_entries '}'     { khex::directive_mode_off(run); }
    ;

roms_keyword
    : ROMS                      { khex::roms_begin(run); }
    ;

roms_entries
    : roms_entry
    | roms_entries roms_entry
    ;

roms_entry
    : range_name colon_opt range_attributes { khex::range_end(run); }
    | PAGE NUMBER ':'           { khex::roms_set_page(run, $2); }
    | error
    ;

range_name
    : NAME                      { khex::range_begin(run, $1); }
    ;

range_attributes
    : range_attribute
    | range_attributes comma_opt range_attribute
    ;

range_attribute
    : ORIGIN equals_opt value   { khex::range_origin(run, $3); }
    | LENGTH equals_opt value   { khex::range_length(run, $3); }
    | ROMWIDTH equals_opt value { khex::range_romwidth(run, $3); }
    | MEMWIDTH equals_opt value { khex::range_memwidth(run, $3); }
    | FILL equals_opt value     { khex::range_fill(run, $3); }
    | files_keyword equals_opt '{' file_names '}'   { khex::directive_mode_on(run); }
    ;

files_keyword
    : FILES                     { khex::directive_mode_off(run); }
    ;

file_names
    : NAME                      { khex::range_add_file(run, $1); }
    | file_names comma_opt NAME { khex::range_add_file(run, $3); }
    ;

sections_directive
    : sections_keyword '{' section_entries '}'  { khex::directive_mode_off(run); }
    ;

sections_keyword
    : SECTIONS                  { khex::sections_begin(run); }
    ;

section_entries
    : section_entry
    | section_entries section_entry
    ;

section_entry
    : section_head comma_opt    { khex::spec_end(run); }
    | section_name colon_opt section_attributes { khex::spec_end(run); }
    | error
    ;

section_head
    : section_name boot_mark    { khex::spec_boot(run); }
    | section_name colon_opt
    ;

section_name
    : NAME                      { khex::spec_begin(run, $1); }
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
    : PADDR equals_opt value    { khex::spec_paddr(run, $3); }
    | PADDR equals_opt BOOT     { khex::spec_boot(run); }
    | DATAWIDTH equals_opt value    { khex::spec_datawidth(run, $3); }
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

int yylex(YYSTYPE* value, khex::Run& run)
{
    int token = khex::next_token(run);
    switch (token) {
    case khex::TOK_END:
        return 0;
    case khex::TOK_NAME:
        value->text = run.lexer.token.text;
        return NAME;
    case khex::TOK_NUMBER:
        value->number = run.lexer.token.number;
        return NUMBER;
    default:
        if (token > khex::TOK_NUMBER && token <= khex::TOK_MEMWIDTH)
            return KEYWORD_TOKENS[token - 1];
        return token;  // punctuation is its own character
    }
}

void yyerror(khex::Run& run, const char*)
{
    khex::report_syntax_error(run);
}

// Recovery from a faulty top-level statement: drop the tokens of the current
// line and the first token of the next one.
void skip_rest_of_line(khex::Run& run)
{
    int line = run.lexer.line;
    while (khex::next_token(run) != khex::TOK_END && run.lexer.line == line) {
    }
}

// "- - word" reaches the handler as "-word", the word cut to 14 characters.
void double_dash_option(khex::Run& run, const char* word)
{
    std::string text = "-";
    text.append(word, std::min<size_t>(std::strlen(word), 14));
    khex::handle_option(run, text.c_str(), true);
}

}  // namespace

namespace khex {

int parse_command_file(Run& run)
{
    return yyparse(run);
}

void* parser_stack_alloc(Run& run, size_t size)
{
    void* block = std::malloc(size);
    if (block)
        run.parser.grown_stacks.push_back(block);
    return block;
}

void parser_stack_free(Run& run, void* block)
{
    std::erase(run.parser.grown_stacks, block);
    std::free(block);
}

void release_parser_stacks(ParserState& parser)
{
    for (void* block : parser.grown_stacks)
        std::free(block);
    parser.grown_stacks.clear();
}

}  // namespace khex
