// The directive parser: a table-driven LALR(1) parser generated from grammar.y.
#pragma once
#include <cstddef>
#include <vector>

namespace khex {

struct Run;

// Parser stacks that grew beyond their initial size, so that a run ended by a
// fatal error inside a parse can release them.
struct ParserState {
    std::vector<void*> grown_stacks;
};

// Parses the current command file to its end: 0 when the whole file was
// accepted, 1 when the parse was abandoned in error recovery, 2 when the parser
// stack limit was reached.
int parse_command_file(Run& run);

void* parser_stack_alloc(Run& run, size_t size);
void parser_stack_free(Run& run, void* block);
void release_parser_stacks(ParserState& parser);

}  // namespace khex
