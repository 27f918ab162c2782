// Everything that differs between Linux and Windows, behind a few plain
// functions; the rest of khex never tests the platform.
#pragma once
#include <string>
#include <vector>

namespace khex {

// The arguments as the program sees them. On Windows, as the start-up code of
// console programs does: "*" and "?" in an unquoted argument expand to the
// matching file names (in the order the system lists them; an argument that
// matches nothing stays as typed), and the program name loses its directory
// and ".exe". Elsewhere the shell has expanded them already: argv unchanged.
std::vector<std::string> program_arguments(int argc, const char* const* argv);

}  // namespace khex
