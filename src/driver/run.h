// One whole run of khex, from the arguments to the exit status.
#pragma once

namespace khex {

// Returns the exit status. State is reset at the start, so runs can repeat in
// one process; every file opened by the run is closed when it returns.
int run_khex(int argc, const char* const* argv);

// Closes every file a run left open; run_khex calls it before returning.
void close_run_files();

}  // namespace khex
