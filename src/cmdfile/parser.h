// The directive parser: a table-driven LALR(1) parser generated from grammar.y.
#pragma once
#include <cstddef>

namespace khex {

// Parses the current command file to its end: 0 when the whole file was
// accepted, 1 when the parse was abandoned in error recovery, 2 when the parser
// stack limit was reached.
int parse_command_file();

// Parser stacks that grew beyond their initial size are allocated through these,
// so that a run ended by a fatal error inside the parse can release them.
void* parser_stack_alloc(size_t size);
void parser_stack_free(void* block);
void release_parser_stacks();

}  // namespace khex
