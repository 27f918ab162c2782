// Input files: every file argument is completed with a default extension and
// classified as the COFF file to convert or a command file to parse.
#pragma once
#include <cstdio>
#include <string>
#include <vector>

namespace khex {

struct Run;

struct InputState {
    std::string coff_name;           // completed name of the accepted COFF file
    FILE* coff_file = nullptr;       // open binary stream; none until a COFF file is accepted
    std::string command_name;
    FILE* command_file = nullptr;    // open only while that command file is parsed
    std::vector<std::string> command_files;  // every command file parsed in the run
};

void add_input(Run& run, const char* name);

// Closes whatever input streams are still open.
void close_inputs(InputState& input);

}  // namespace khex
