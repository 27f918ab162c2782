// The platform functions on Linux and other POSIX systems, in the order of
// platform.h, as in windows.cpp.
#ifndef _WIN32
#include <fcntl.h>
#include <malloc.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "platform/platform.h"

namespace khex {

namespace {

void (*interrupt_cleanup)();

void interrupted(int signal_number)
{
    if (interrupt_cleanup)
        interrupt_cleanup();
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

}  // namespace

// The shell has expanded wildcards already.
std::vector<std::string> program_arguments(int argc, const char* const* argv)
{
    return std::vector<std::string>(argv, argv + argc);
}

FILE* create_new_file(const std::string& path, bool binary)
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return nullptr;
    FILE* file = fdopen(fd, binary ? "wb" : "w");
    if (!file)
        close(fd);
    return file;
}

bool replace_file(const std::string& from, const std::string& to)
{
    return std::rename(from.c_str(), to.c_str()) == 0;
}

FileKind file_kind(const std::string& path)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return errno == ENOENT ? FileKind::ABSENT : FileKind::OTHER;
    return S_ISREG(st.st_mode) ? FileKind::REGULAR : FileKind::OTHER;
}

bool existing_identity(const std::string& path, std::string& identity)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return false;
    identity = "file " + std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
    return true;
}

bool names_ignore_case()
{
    return false;
}

int process_id()
{
    return static_cast<int>(getpid());
}

void on_interrupt(void (*cleanup)())
{
    interrupt_cleanup = cleanup;
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP})
        std::signal(signal_number, interrupted);
}

void remove_file_now(const char* path)
{
    unlink(path);
}

bool lock_open_file(FILE* file)
{
    int result;
    do
        result = flock(fileno(file), LOCK_EX);
    while (result != 0 && errno == EINTR);
    return result == 0;
}

void keep_freed_blocks()
{
#ifdef __GLIBC__
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 128 << 20);
#endif
}

}  // namespace khex
#endif
