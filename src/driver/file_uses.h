// Before conversion: no file of the run may be written twice, and no output
// or map file may be one of the run's own input files.
#pragma once

namespace khex {

struct Run;

// Reports an ERROR naming the file and both of its uses for each clash.
void check_file_uses(Run& run);

// At the end of a run, before anything is committed: the files it writes
// (output files of ranges with data, map, picture, JSON report) against
// those -outputs declares; an ERROR for each written but not declared and
// each declared but not written. False when there was one.
bool check_declared_outputs(Run& run);

}  // namespace khex
