// Output and map files appear whole or not at all: each is written under a
// temporary name beside its final one and renamed into place only when the
// run ends without a fatal or internal error. A name that exists and is not a
// regular file (a device, a FIFO, a terminal) is written directly.
#pragma once
#include <cstdio>
#include <string>

namespace khex {

enum class FileRole { OUTPUT, MAP };

// Opens name for writing; nullptr with errno set when it cannot be created.
FILE* open_pending(const std::string& name, bool binary, FileRole role);

// Closes a file of open_pending; false with errno set when the close failed.
// The file stays pending until the run ends.
bool close_pending(FILE* file);

// Drops a file of open_pending before the run ends (a -map replaced by a
// later one): closed, its temporary file removed, its final name untouched.
void drop_pending(FILE* file);

// A good end: every pending file is closed and renamed over its final name.
// A failed rename is FATAL "error writing output file ..." (or map file).
void commit_pending_files();

// Any other end, and the reset of a run: temporary files are closed and
// removed; final names stay as they were.
void discard_pending_files();

// For an interrupt: removes the temporary files at once; async-signal-safe.
void remove_pending_files_now();

}  // namespace khex
