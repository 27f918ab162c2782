// Everything that differs between Linux and Windows, behind a few plain
// functions; the rest of khex never tests the platform.
#pragma once
#include <cstdio>
#include <string>
#include <vector>

namespace khex {

// The arguments as the program sees them. On Windows, as the start-up code of
// console programs does: "*" and "?" in an unquoted argument expand to the
// matching file names (in the order the system lists them; an argument that
// matches nothing stays as typed), and the program name loses its directory
// and ".exe". Elsewhere the shell has expanded them already: argv unchanged.
std::vector<std::string> program_arguments(int argc, const char* const* argv);

// Creates a file that does not exist yet and opens it for writing (text or
// binary); nullptr with errno set when that fails. On Windows the file can be
// removed while it is open, so that an interrupt can take it away.
FILE* create_new_file(const std::string& path, bool binary);

// Renames from over to, replacing an existing file; false with errno set.
bool replace_file(const std::string& from, const std::string& to);

enum class FileKind { ABSENT, REGULAR, OTHER };  // OTHER: a device, FIFO, directory, ...
FileKind file_kind(const std::string& path);

// The identity of an existing file (device and inode, or volume and file
// index): equal for every name of the file. False when it does not exist.
bool existing_identity(const std::string& path, std::string& identity);

// Whether file names ignore case.
bool names_ignore_case();

// A text that is equal for two names exactly when they name the same file:
// the file's identity where it exists (links and other spellings included),
// else its absolute path.
std::string file_identity(const std::string& path);

int process_id();

// On an interrupt (SIGINT, SIGTERM, SIGHUP; Ctrl-C and Ctrl-Break on Windows)
// calls cleanup, which must be async-signal-safe, and ends the process with the
// platform's status for it (killed by the signal, 128 + its number to a shell).
void on_interrupt(void (*cleanup)());

// Removes a file from within cleanup; async-signal-safe.
void remove_file_now(const char* path);

// Lets the allocator keep the large blocks a conversion frees for the next
// one, as a lot's units follow one another, rather than hand them back to
// the system and fault them in again.
void keep_freed_blocks();

// Locks an open file against every other process that locks it, waiting
// for their lock to end; the lock ends when the file is closed. False with
// errno set when it cannot be locked.
bool lock_open_file(FILE* file);

}  // namespace khex
