// Input files: every file argument is completed with a default extension and
// classified as the COFF file to convert or a command file to parse.
#pragma once
#include <cstdio>
#include <string>
#include <vector>

namespace khex {

struct InputState {
    std::string coff_name;  // completed name of the accepted COFF file
    FILE* coff_file;        // open binary stream; none until a COFF file is accepted
    std::string command_name;
    FILE* command_file;     // open only while that command file is parsed
    std::vector<std::string> command_files;  // every command file parsed in the run
};
extern InputState input;

void reset_input();
void add_input(const char* name);

// The command file being parsed, for the diagnostics prefix; nullptr otherwise.
const char* current_command_file();

// Closes whatever input streams are still open.
void close_inputs();

}  // namespace khex
