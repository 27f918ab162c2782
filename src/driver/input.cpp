#include "driver/input.h"

#include <cerrno>
#include <cstring>

#include "driver/run.h"

namespace khex {

namespace {

bool is_coff_id(unsigned value)
{
    return value == 0x00C0 || value == 0x00C1 || value == 0x00C2 || value == 0x009C;
}

void run_command_file(Run& run, FILE* stream, const std::string& name)
{
    InputState& input = run.input;
    input.command_name = name;
    input.command_file = stream;
    input.command_files.push_back(name);
    lexer_reset(run.lexer, stream);
    parse_command_file(run);  // its result is not needed: errors were reported
    lexer_reset(run.lexer, nullptr);
    std::fclose(input.command_file);
    input.command_file = nullptr;
    input.command_name.clear();
}

}  // namespace

const char* current_command_file(const Run& run)
{
    return run.input.command_file ? run.input.command_name.c_str() : nullptr;
}

void close_inputs(InputState& input)
{
    if (input.coff_file)
        std::fclose(input.coff_file);
    if (input.command_file)
        std::fclose(input.command_file);
    input.coff_file = nullptr;
    input.command_file = nullptr;
}

// Names are not cut to a fixed length: a shortened name could open another file.
void add_input(Run& run, const char* name)
{
    InputState& input = run.input;
    std::string completed = set_extension(name, ".out", false);
    FILE* stream = std::fopen(completed.c_str(), "rb");
    if (!stream)
        fatal(run, "cannot open input file '%s': %s", completed.c_str(), std::strerror(errno));
    unsigned char id[2];
    if (std::fread(id, 1, 2, stream) != 2) {
        std::fclose(stream);
        fatal(run, "cannot read input file %s", completed.c_str());
    }

    if (is_coff_id(id[0] | id[1] << 8) || is_coff_id(id[1] | id[0] << 8)) {
        if (input.coff_file) {
            report(run, SEVERITY_WARNING, "multiple COFF files: %s ignored", completed.c_str());
            std::fclose(stream);
            return;
        }
        input.coff_name = completed;
        input.coff_file = stream;
        std::rewind(stream);
        return;
    }
    if ((id[0] | id[1]) & 0x80) {
        report(run, SEVERITY_WARNING, "illegal input file type: %s ignored", completed.c_str());
        std::fclose(stream);
        return;
    }
    if (input.command_file) {
        report(run, SEVERITY_WARNING, "nested command file: %s ignored", completed.c_str());
        std::fclose(stream);
        return;
    }
    std::fclose(stream);
    stream = std::fopen(completed.c_str(), "r");
    if (!stream)
        fatal(run, "cannot open input file '%s': %s", completed.c_str(), std::strerror(errno));
    run_command_file(run, stream, completed);
}

}  // namespace khex
