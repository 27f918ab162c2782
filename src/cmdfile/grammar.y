/* Grammar of command files: options, input names, and the ROMS and SECTIONS
   directives. The actions hand everything on to the option handler, input-file
   handling and the directive handlers. */

%code requires {
#include <cstdint>
}

%code {
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cmdfile/lexer.h"
#include "cmdfile/parser.h"
#include "driver/diagnostics.h"
#include "driver/input.h"
#include "driver/options.h"
#include "memory/ranges.h"
#include "memory/specs.h"

#define YYMALLOC khex::parser_stack_alloc
#define YYFREE khex::parser_stack_free

namespace {

int yylex();
void yyerror(const char*);
void skip_rest_of_line();
void double_dash_option(const char* word);

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
    | error                     { skip_rest_of_line(); yyerrok; yyclearin; }
    ;

option
    : '-' NAME                  { khex::handle_option($2, true); }
    | '-' '-' NAME              { double_dash_option($3); }
    ;

input_name
    : NAME                      { khex::add_input($1); }
    ;

roms_directive
    : roms_keyword '{' roms_entries '}'     { khex::directive_mode_off(); }
    ;

roms_keyword
    : ROMS                      { khex::roms_begin(); }
    ;

roms_entries
    : roms_entry
    | roms_entries roms_entry
    ;

roms_entry
    : range_name colon_opt range_attributes { khex::range_end(); }
    | PAGE NUMBER ':'           { khex::roms_set_page($2); }
    | error
    ;

range_name
    : NAME                      { khex::range_begin($1); }
    ;

range_attributes
    : range_attribute
    | range_attributes comma_opt range_attribute
    ;

range_attribute
    : ORIGIN equals_opt value   { khex::range_origin($3); }
    | LENGTH equals_opt value   { khex::range_length($3); }
    | ROMWIDTH equals_opt value { khex::range_romwidth($3); }
    | MEMWIDTH equals_opt value { khex::range_memwidth($3); }
    | FILL equals_opt value     { khex::range_fill($3); }
    | files_keyword equals_opt '{' file_names '}'   { khex::directive_mode_on(); }
    ;

files_keyword
    : FILES                     { khex::directive_mode_off(); }
    ;

file_names
    : NAME                      { khex::range_add_file($1); }
    | file_names comma_opt NAME { khex::range_add_file($3); }
    ;

sections_directive
    : sections_keyword '{' section_entries '}'  { khex::directive_mode_off(); }
    ;

sections_keyword
    : SECTIONS                  { khex::sections_begin(); }
    ;

section_entries
    : section_entry
    | section_entries section_entry
    ;

section_entry
    : section_head comma_opt    { khex::spec_end(); }
    | section_name colon_opt section_attributes { khex::spec_end(); }
    | error
    ;

section_head
    : section_name boot_mark    { khex::spec_boot(); }
    | section_name colon_opt
    ;

section_name
    : NAME                      { khex::spec_begin($1); }
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
    : PADDR equals_opt value    { khex::spec_paddr($3); }
    | PADDR equals_opt BOOT     { khex::spec_boot(); }
    | DATAWIDTH equals_opt value    { khex::spec_datawidth($3); }
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

int yylex()
{
    int token = khex::next_token();
    switch (token) {
    case khex::TOK_END:
        return 0;
    case khex::TOK_NAME:
        yylval.text = khex::token_value.text;
        return NAME;
    case khex::TOK_NUMBER:
        yylval.number = khex::token_value.number;
        return NUMBER;
    default:
        if (token > khex::TOK_NUMBER && token <= khex::TOK_MEMWIDTH)
            return KEYWORD_TOKENS[token - 1];
        return token;  // punctuation is its own character
    }
}

void yyerror(const char*)
{
    khex::report_syntax_error();
}

// Recovery from a faulty top-level statement: drop the tokens of the current
// line and the first token of the next one.
void skip_rest_of_line()
{
    int line = khex::lexer_line();
    while (khex::next_token() != khex::TOK_END && khex::lexer_line() == line) {
    }
}

// "- - word" reaches the handler as "-word", the word cut to 14 characters.
void double_dash_option(const char* word)
{
    std::string text = "-";
    text.append(word, std::min<size_t>(std::strlen(word), 14));
    khex::handle_option(text.c_str(), true);
}

std::vector<void*> grown_stacks;

}  // namespace

namespace khex {

int parse_command_file()
{
    return yyparse();
}

void* parser_stack_alloc(size_t size)
{
    void* block = std::malloc(size);
    if (block)
        grown_stacks.push_back(block);
    return block;
}

void parser_stack_free(void* block)
{
    std::erase(grown_stacks, block);
    std::free(block);
}

void release_parser_stacks()
{
    for (void* block : grown_stacks)
        std::free(block);
    grown_stacks.clear();
}

}  // namespace khex
