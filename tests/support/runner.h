// Runs the real khex binary in a temporary directory and captures what it did.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "coff_builder.h"

namespace khextest {

struct RunResult {
    int status;
    std::string out;
    std::string err;
};

// Messages as one line each: the wrapping at 80 columns undone.
std::string unwrapped(const std::string& text);

// A fresh directory under the system's temporary directory, removed afterwards.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    void write(const std::string& name, const std::string& content) const;
    void write(const std::string& name, const coffgen::Bytes& content) const;
    // A text file as written by the program, with the platform's line ends
    // read as "\n"; read_bytes gives the file's bytes exactly.
    std::string read(const std::string& name) const;
    std::string read_bytes(const std::string& name) const;
    bool exists(const std::string& name) const;
    // Names of the files in the directory, sorted.
    std::vector<std::string> files() const;

private:
    std::string path_;
};

// The program under test is the build's khex, or the one that the environment
// names: KHEX_TEST_PROGRAM, started through KHEX_TEST_LAUNCHER when that is set
// (for example khex.exe through wine). A program ending in ".exe" is a Windows
// program: its standard output, standard error and text files end lines with
// CR LF, which the runner and TempDir::read take as "\n".
bool testing_windows_program();

// Skips the current test, with the reason shown, when the program under test
// is a Windows program.
#define SKIP_FOR_WINDOWS_PROGRAM(reason)                     \
    do {                                                      \
        if (::khextest::testing_windows_program())            \
            GTEST_SKIP() << "not for a Windows program: " << reason; \
    } while (0)

// Runs khex with the given arguments (argv[0] is "khex") in dir.
RunResult run_khex(const TempDir& dir, const std::vector<std::string>& args);

// The same, but a run still going after the time limit is killed; its status
// is then TIMED_OUT.
constexpr int TIMED_OUT = -2;
RunResult run_khex_limited(const TempDir& dir, const std::vector<std::string>& args, double seconds);

// What a run is put through: a limit on the size of every file it writes
// (bytes; writes past it fail with EFBIG), and SIGINT as soon as
// interrupt_when, polled while the run goes on, returns true. A run killed by
// a signal has the status 128 + its number.
struct RunConditions {
    long file_size_limit = 0;
    std::function<bool()> interrupt_when;
};
RunResult run_khex_under(const TempDir& dir, const std::vector<std::string>& args, const RunConditions& conditions,
                         double seconds = 0);

// Runs another program (argv[0], found on PATH) in dir.
RunResult run_program(const TempDir& dir, const std::vector<std::string>& argv);

// Decodes a hex file into the raw bytes it describes, from its lowest address
// on: objcopy for "ihex" and "srec", SRecord's srec_cat for "tekhex".
std::string objcopy_decode(const TempDir& dir, const std::string& name, const std::string& input_format);

}  // namespace khextest
