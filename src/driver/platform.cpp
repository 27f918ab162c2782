#include "driver/platform.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

namespace khex {

#ifdef _WIN32

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
        std::string tail = name.substr(name.size() - 4);
        for (char& c : tail)
            c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        if (tail == ".exe")
            name.resize(name.size() - 4);
    }
    return name;
}

}  // namespace

std::vector<std::string> program_arguments(int argc, const char* const* argv)
{
    std::vector<std::string> result{argc > 0 ? program_name(argv[0]) : "khex"};
    std::vector<Argument> arguments = split_command_line(GetCommandLineA());
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

#else

std::vector<std::string> program_arguments(int argc, const char* const* argv)
{
    return std::vector<std::string>(argv, argv + argc);
}

#endif

}  // namespace khex
