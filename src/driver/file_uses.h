// Before conversion: no file of the run may be written twice, and no output
// or map file may be one of the run's own input files.
#pragma once

namespace khex {

struct Run;

// Reports an ERROR naming the file and both of its uses for each clash.
void check_file_uses(Run& run);

}  // namespace khex
