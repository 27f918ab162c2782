// The platform functions on Windows, in the order of platform.h, as in
// posix.cpp.
#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>

#include "base/text.h"
#include "platform/platform.h"

namespace khex {

namespace {

struct Argument {
    std::string text;
    bool quoted;  // held a double quote somewhere: never expanded
};

// Splits the command line by the rules of the C run-time's start-up code:
// blanks and tabs separate arguments outside double quotes; 2n backslashes
// before a quote give n backslashes and the quote opens or closes quoting,
// 2n+1 give n backslashes and a literal quote; "" inside quotes is one quote.
// The program name (up to the first blank, or in quotes) is skipped.
std::vector<Argument> split_command_line(const char* p)
{
    if (*p == '"') {
        for (++p; *p && *p != '"'; ++p) {
        }
        if (*p)
            ++p;
    } else {
        while (*p && *p != ' ' && *p != '\t')
            ++p;
    }
    std::vector<Argument> arguments;
    for (;;) {
        while (*p == ' ' || *p == '\t')
            ++p;
        if (!*p)
            return arguments;
        Argument a{"", false};
        bool in_quotes = false;
        while (*p && (in_quotes || (*p != ' ' && *p != '\t'))) {
            if (*p == '\\') {
                size_t n = 0;
                for (; *p == '\\'; ++p)
                    ++n;
                if (*p != '"') {
                    a.text.append(n, '\\');
                } else {
                    a.text.append(n / 2, '\\');
                    if (n % 2 == 1) {
                        a.text += '"';
                        a.quoted = true;
                        ++p;
                    }
                }
            } else if (*p == '"') {
                a.quoted = true;
                if (in_quotes && p[1] == '"') {
                    a.text += '"';
                    p += 2;
                } else {
                    in_quotes = !in_quotes;
                    ++p;
                }
            } else {
                a.text += *p++;
            }
        }
        arguments.push_back(a);
    }
}

// The names matching a pattern, with the pattern's directory in front, in the
// order the system lists them; the pattern itself when nothing matches.
void expand(const std::string& pattern, std::vector<std::string>& out)
{
    const size_t before = out.size();
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        size_t cut = pattern.find_last_of("\\/:");
        std::string directory = cut == std::string::npos ? "" : pattern.substr(0, cut + 1);
        do {
            std::string name = found.cFileName;
            if (name != "." && name != "..")
                out.push_back(directory + name);
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    if (out.size() == before)
        out.push_back(pattern);
}

// "C:\tools\KHEX.EXE" is shown as "KHEX", as typed without its path.
std::string program_name(const std::string& path)
{
    size_t cut = path.find_last_of("\\/:");
    std::string name = cut == std::string::npos ? path : path.substr(cut + 1);
    if (name.size() > 4) {
        if (same_folded(name.substr(name.size() - 4), ".exe"))
            name.resize(name.size() - 4);
    }
    return name;
}

// Names in the system's code page, as the C library's narrow calls take them,
// given to the wide calls, which are not limited to MAX_PATH characters.
std::wstring wide(const char* path)
{
    int n = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
    std::wstring text(n > 0 ? static_cast<size_t>(n) : 1, L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_ACP, 0, path, -1, text.data(), n);
    text.resize(text.size() - 1);
    return text;
}

HANDLE open_existing(const std::string& path)
{
    return CreateFileW(wide(path.c_str()).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

void (*interrupt_cleanup)();

BOOL WINAPI console_event(DWORD)
{
    if (interrupt_cleanup)
        interrupt_cleanup();
    ExitProcess(STATUS_CONTROL_C_EXIT);
    return TRUE;
}

}  // namespace

std::vector<std::string> program_arguments(int argc, const char* const* argv)
{
    std::vector<std::string> result{argc > 0 ? program_name(argv[0]) : "khex"};
    std::vector<Argument> arguments = split_command_line(GetCommandLineA());
    // "/?" alone is the console's way to ask for help; no file is named so
    if (arguments.size() == 1 && arguments[0].text == "/?") {
        result.emplace_back("--help");
        return result;
    }
    if (arguments.size() + 1 != static_cast<size_t>(argc)) {
        // started with a command line the run-time read differently: take its words
        for (int i = 1; i < argc; ++i)
            result.emplace_back(argv[i]);
        return result;
    }
    for (const Argument& a : arguments) {
        if (!a.quoted && a.text.find_first_of("*?") != std::string::npos)
            expand(a.text, result);
        else
            result.push_back(a.text);
    }
    return result;
}

FILE* create_new_file(const std::string& path, bool binary)
{
    HANDLE h = CreateFileW(wide(path.c_str()).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        errno = error == ERROR_FILE_EXISTS ? EEXIST
                : error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND ? ENOENT
                : error == ERROR_ACCESS_DENIED ? EACCES
                                                : EIO;
        return nullptr;
    }
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), binary ? _O_BINARY : _O_TEXT);
    if (fd < 0) {
        CloseHandle(h);
        return nullptr;
    }
    FILE* file = _fdopen(fd, binary ? "wb" : "w");
    if (!file)
        _close(fd);
    return file;
}

bool replace_file(const std::string& from, const std::string& to)
{
    if (MoveFileExW(wide(from.c_str()).c_str(), wide(to.c_str()).c_str(), MOVEFILE_REPLACE_EXISTING))
        return true;
    errno = GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
    return false;
}

FileKind file_kind(const std::string& path)
{
    DWORD attributes = GetFileAttributesW(wide(path.c_str()).c_str());
    HANDLE h = open_existing(path);
    if (h == INVALID_HANDLE_VALUE)
        return attributes == INVALID_FILE_ATTRIBUTES ? FileKind::ABSENT : FileKind::OTHER;
    bool disk = GetFileType(h) == FILE_TYPE_DISK;
    CloseHandle(h);
    bool directory = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    return disk && !directory ? FileKind::REGULAR : FileKind::OTHER;
}

bool existing_identity(const std::string& path, std::string& identity)
{
    HANDLE h = open_existing(path);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info;
    bool ok = GetFileInformationByHandle(h, &info);
    CloseHandle(h);
    if (ok)
        identity = "file " + std::to_string(info.dwVolumeSerialNumber) + ":" + std::to_string(info.nFileIndexHigh) +
                   ":" + std::to_string(info.nFileIndexLow);
    return ok;
}

bool names_ignore_case()
{
    return true;
}

int process_id()
{
    return static_cast<int>(GetCurrentProcessId());
}

void on_interrupt(void (*cleanup)())
{
    interrupt_cleanup = cleanup;
    SetConsoleCtrlHandler(console_event, TRUE);
}

// The files are open with FILE_SHARE_DELETE: they go when the process ends.
void remove_file_now(const char* path)
{
    DeleteFileW(wide(path).c_str());
}

bool lock_open_file(FILE* file)
{
    HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    OVERLAPPED whole{};
    if (h != INVALID_HANDLE_VALUE && LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole))
        return true;
    errno = EACCES;
    return false;
}

void keep_freed_blocks()
{
    // the Windows heap keeps freed blocks by itself
}

}  // namespace khex
#endif
