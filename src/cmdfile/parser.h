// The directive parser: a table-driven LALR(1) parser generated from grammar.y.
// It hands every option, input file and directive entry of a command file to
// a sink that the caller gives it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/diagnostics.h"
#include "base/function_ref.h"
#include "cmdfile/lexer.h"

namespace khex {

// What a command file says, entry by entry, in the order it says it.
enum class Command {
    OPTION,          // text: the option without its dash
    INPUT,           // text: a file name
    ROMS,            // the ROMS directive begins
    ROMS_PAGE,       // number: PAGE n:
    RANGE,           // text: a range's name
    RANGE_ORIGIN,    // number, as written
    RANGE_LENGTH,
    RANGE_ROMWIDTH,  // number: bits
    RANGE_MEMWIDTH,  // number: bits
    RANGE_FILL,
    RANGE_FILE,      // text: a name of files = { ... }
    RANGE_END,
    SECTIONS,        // the SECTIONS directive begins
    SECTION,         // text: a section's name
    SECTION_BOOT,
    SECTION_PADDR,   // number
    SECTION_DATAWIDTH,  // number: bits
    SECTION_END,
};

struct CommandEntry {
    Command command;
    const char* text;  // valid for the whole run
    uint32_t number;
};

using CommandSink = FunctionRef<void(const CommandEntry&)>;

// Parser stacks that grew beyond their initial size, so that a run ended by a
// fatal error inside a parse can release them.
struct ParserState {
    std::vector<void*> grown_stacks;
};

// What one parse reads and reports to.
struct CommandParse {
    LexerState& lexer;
    ParserState& parser;
    Diagnostics& diagnostics;
    CommandSink sink;
};

// Parses the lexer's command file to its end: 0 when the whole file was
// accepted, 1 when the parse was abandoned in error recovery, 2 when the parser
// stack limit was reached.
int parse_command_file(CommandParse& parse);

void* parser_stack_alloc(ParserState& parser, size_t size);
void parser_stack_free(ParserState& parser, void* block);
void release_parser_stacks(ParserState& parser);

}  // namespace khex
