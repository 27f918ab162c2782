#include "driver/input.h"

#include <cerrno>
#include <cstring>

#include "cmdfile/lexer.h"
#include "cmdfile/parser.h"
#include "driver/diagnostics.h"
#include "output/names.h"

namespace khex {

InputState input;

namespace {

bool is_coff_id(unsigned value)
{
    return value == 0x00C0 || value == 0x00C1 || value == 0x00C2 || value == 0x009C;
}

void run_command_file(FILE* stream, const std::string& name)
{
    input.command_name = name;
    input.command_file = stream;
    input.command_files.push_back(name);
    lexer_reset(stream);
    parse_command_file();  // its result is not needed: errors were reported
    lexer_reset(nullptr);
    std::fclose(input.command_file);
    input.command_file = nullptr;
    input.command_name.clear();
}

}  // namespace

void reset_input()
{
    close_inputs();
    input.coff_name.clear();
    input.command_name.clear();
    input.command_files.clear();
}

const char* current_command_file()
{
    return input.command_file ? input.command_name.c_str() : nullptr;
}

void close_inputs()
{
    if (input.coff_file)
        std::fclose(input.coff_file);
    if (input.command_file)
        std::fclose(input.command_file);
    input.coff_file = nullptr;
    input.command_file = nullptr;
}

// Names are not cut to a fixed length: a shortened name could open another file.
void add_input(const char* name)
{
    std::string completed = set_extension(name, ".out", false);
    FILE* stream = std::fopen(completed.c_str(), "rb");
    if (!stream)
        fatal("cannot open input file '%s': %s", completed.c_str(), std::strerror(errno));
    unsigned char id[2];
    if (std::fread(id, 1, 2, stream) != 2) {
        std::fclose(stream);
        fatal("cannot read input file %s", completed.c_str());
    }

    if (is_coff_id(id[0] | id[1] << 8) || is_coff_id(id[1] | id[0] << 8)) {
        if (input.coff_file) {
            report(SEVERITY_WARNING, "multiple COFF files: %s ignored", completed.c_str());
            std::fclose(stream);
            return;
        }
        input.coff_name = completed;
        input.coff_file = stream;
        std::rewind(stream);
        return;
    }
    if ((id[0] | id[1]) & 0x80) {
        report(SEVERITY_WARNING, "illegal input file type: %s ignored", completed.c_str());
        std::fclose(stream);
        return;
    }
    if (input.command_file) {
        report(SEVERITY_WARNING, "nested command file: %s ignored", completed.c_str());
        std::fclose(stream);
        return;
    }
    std::fclose(stream);
    stream = std::fopen(completed.c_str(), "r");
    if (!stream)
        fatal("cannot open input file '%s': %s", completed.c_str(), std::strerror(errno));
    run_command_file(stream, completed);
}

}  // namespace khex
