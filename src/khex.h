// khex as a library: one whole conversion per call, as the program runs it.
#pragma once
#include <cstdio>
#include <string>
#include <vector>

#include "base/diagnostics.h"  // DIRECT_STOP_STATUS

namespace khex {

// Converts as the command line `arguments` says (the first is the program's
// name, as in argv) and returns the exit status: 0, 1 or DIRECT_STOP_STATUS.
// Progress lines, the usage text and traces go to out, diagnostics to err.
// Every file the run opens is closed when it returns, and its output files
// appear whole or not at all. Conversions may run side by side on several
// threads as long as they write different files; relative names count from
// the process's working directory.
int run(const std::vector<std::string>& arguments, FILE* out = stdout, FILE* err = stderr);

}  // namespace khex
