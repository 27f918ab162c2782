// Output and map files appear whole or not at all: each is written under a
// temporary name beside its final one and renamed into place only when the
// run ends well. A name that exists and is not a regular file (a device, a
// FIFO, a terminal) is written directly.
#pragma once
#include <cstdio>
#include <deque>
#include <string>

namespace khex {

enum class FileRole { OUTPUT, MAP, DEPENDENCY };

// The word messages use for a file of the role: "output", "map", "dependency".
const char* role_word(FileRole role);

struct InterruptNode;

struct PendingFile {
    std::string name;       // the final name, as messages show it
    std::string target;     // what the temporary file replaces: the name, or the file a link names
    std::string temporary;  // empty: written directly
    FILE* file;
    FileRole role;
    bool dropped;
    InterruptNode* node;    // the temporary file as an interrupt finds it; none once it is gone
};

// A run's pending files.
struct PendingFiles {
    std::deque<PendingFile> files;
    unsigned counter = 0;  // numbers the temporary names
    std::deque<std::string> made_folders;  // folders made for names, the outermost first
};

// Makes the folders a name needs that do not exist yet; they are removed
// again (when empty) by a run that does not end well. False with errno set
// when one cannot be made.
bool make_folders(PendingFiles& pending, const std::string& name);

// Opens name for writing; nullptr with errno set when it cannot be created.
FILE* open_pending(PendingFiles& pending, const std::string& name, bool binary, FileRole role);

// Closes a file of open_pending; false with errno set when the close failed.
// The file stays pending until the run ends.
bool close_pending(PendingFiles& pending, FILE* file);

// Drops a file of open_pending before the run ends (a -map replaced by a
// later one): closed, its temporary file removed, its final name untouched.
void drop_pending(PendingFiles& pending, FILE* file);

// A good end: every pending file is closed and renamed over its final name.
// False when a close or rename failed; failed names the file, errno says why.
bool commit_pending_files(PendingFiles& pending, const PendingFile*& failed);

// Moves every file of from (closed first) and the folders it made into
// into, whose end then commits or discards them; false with errno set and
// failed pointing at the file whose close failed.
bool adopt_pending_files(PendingFiles& into, PendingFiles& from, const PendingFile*& failed);

// Any other end: temporary files are closed and removed; final names stay as
// they were.
void discard_pending_files(PendingFiles& pending);

// For an interrupt: removes the temporary files of every run at once;
// async-signal-safe.
void remove_pending_files_now();

}  // namespace khex
