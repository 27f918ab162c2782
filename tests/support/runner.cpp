#include "runner.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace khextest {

namespace {

std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void remove_tree(const std::string& path)
{
    if (DIR* d = opendir(path.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string name = e->d_name;
            if (name == "." || name == "..")
                continue;
            std::string child = path + "/" + name;
            struct stat st;
            if (lstat(child.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
                remove_tree(child);
            else
                unlink(child.c_str());
        }
        closedir(d);
    }
    rmdir(path.c_str());
}

// Runs argv in dir with stdout and stderr going to files; returns the status,
// or TIMED_OUT when a time limit (seconds above 0) passed first.
int spawn(const std::string& dir, const std::string& program, const std::vector<std::string>& argv,
          const std::string& out_path, const std::string& err_path, double seconds = 0,
          const RunConditions& conditions = {})
{
    pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || err < 0 || chdir(dir.c_str()) != 0)
            _exit(127);
        dup2(out, 1);
        dup2(err, 2);
        if (conditions.file_size_limit > 0) {
            // a write past the limit then fails with EFBIG instead of killing
            signal(SIGXFSZ, SIG_IGN);
            rlimit limit{static_cast<rlim_t>(conditions.file_size_limit), static_cast<rlim_t>(conditions.file_size_limit)};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(program.c_str(), args.data());
        _exit(127);
    }
    int status = 0;
    if (conditions.interrupt_when) {
        while (waitpid(pid, &status, WNOHANG) == 0) {
            if (conditions.interrupt_when()) {
                kill(pid, SIGINT);
                waitpid(pid, &status, 0);
                break;
            }
            usleep(200);
        }
    } else if (seconds <= 0) {
        waitpid(pid, &status, 0);
    } else {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
                return TIMED_OUT;
            }
            usleep(1000);
        }
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

TempDir::TempDir()
{
    const char* base = std::getenv("TMPDIR");
    std::string templ = std::string(base && *base ? base : "/tmp") + "/khex-test-XXXXXX";
    if (!mkdtemp(templ.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = templ;
}

TempDir::~TempDir()
{
    remove_tree(path_);
}

void TempDir::write(const std::string& name, const std::string& content) const
{
    std::ofstream(file(name), std::ios::binary) << content;
}

void TempDir::write(const std::string& name, const coffgen::Bytes& content) const
{
    coffgen::write_file(file(name), content);
}

namespace {

std::string text_lines(std::string text)
{
    if (!testing_windows_program())
        return text;
    std::string lines;
    lines.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
            lines += text[i];
    return lines;
}

std::string program_under_test()
{
    const char* program = std::getenv("KHEX_TEST_PROGRAM");
    return program && *program ? program : KHEX_BINARY;
}

}  // namespace

bool testing_windows_program()
{
    std::string program = program_under_test();
    return program.size() > 4 && program.compare(program.size() - 4, 4, ".exe") == 0;
}

std::string TempDir::read(const std::string& name) const
{
    return text_lines(slurp(file(name)));
}

std::string TempDir::read_bytes(const std::string& name) const
{
    return slurp(file(name));
}

bool TempDir::exists(const std::string& name) const
{
    struct stat st;
    return stat(file(name).c_str(), &st) == 0;
}

std::vector<std::string> TempDir::files() const
{
    std::vector<std::string> names;
    if (DIR* d = opendir(path_.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string name = e->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

RunResult run_khex(const TempDir& dir, const std::vector<std::string>& args)
{
    return run_khex_limited(dir, args, 0);
}

RunResult run_khex_limited(const TempDir& dir, const std::vector<std::string>& args, double seconds)
{
    return run_khex_under(dir, args, RunConditions{}, seconds);
}

RunResult run_khex_under(const TempDir& dir, const std::vector<std::string>& args, const RunConditions& conditions,
                         double seconds)
{
    std::vector<std::string> argv{"khex"};  // the program name as a user types it
    std::string program = program_under_test();
    const char* launcher = std::getenv("KHEX_TEST_LAUNCHER");
    if (launcher && *launcher) {
        // the Windows program sees its own path, which it shows as "khex"
        argv = {launcher, program};
        program = launcher;
    }
    argv.insert(argv.end(), args.begin(), args.end());
    std::string out_path = dir.path() + ".stdout";
    std::string err_path = dir.path() + ".stderr";
    int status = spawn(dir.path(), program, argv, out_path, err_path, seconds, conditions);
    RunResult result{status, text_lines(slurp(out_path)), text_lines(slurp(err_path))};
    if (launcher && *launcher && status != 0 && status != TIMED_OUT && result.out.empty() && result.err.empty()) {
        // khex never fails without a word: this was the launcher failing to
        // start the program (seen rarely under a busy Wine); once more
        status = spawn(dir.path(), program, argv, out_path, err_path, seconds, conditions);
        result = RunResult{status, text_lines(slurp(out_path)), text_lines(slurp(err_path))};
    }
    unlink(out_path.c_str());
    unlink(err_path.c_str());
    return result;
}

RunResult run_program(const TempDir& dir, const std::vector<std::string>& argv)
{
    std::string out_path = dir.path() + ".program";
    std::string err_path = dir.path() + ".program-err";
    int status = spawn(dir.path(), argv[0], argv, out_path, err_path);
    RunResult result{status, slurp(out_path), slurp(err_path)};
    unlink(out_path.c_str());
    unlink(err_path.c_str());
    return result;
}

std::string objcopy_decode(const TempDir& dir, const std::string& name, const std::string& input_format)
{
    auto run = [&](const std::vector<std::string>& argv) {
        RunResult r = run_program(dir, argv);
        if (r.status != 0)
            throw std::runtime_error(argv[0] + " failed on " + name + ": " + r.err);
    };
    std::string input = name;
    std::string format = input_format;
    if (input_format == "tekhex") {
        // objcopy reads Extended Tektronix data only inside sections, which
        // khex does not write; SRecord reads the records as they are and
        // checks their checksums
        input = name + ".ihex";
        run({"srec_cat", name, "-tektronix_extended", "-o", input, "-intel"});
        format = "ihex";
    }
    std::string bin = dir.file(name + ".bin");
    run({"objcopy", "-I", format, "-O", "binary", input, bin});
    if (input != name)
        unlink(dir.file(input).c_str());
    std::string bytes = slurp(bin);
    unlink(bin.c_str());
    return bytes;
}

std::string unwrapped(const std::string& text)
{
    // a continuation line is indented by at least 12 blanks, as deep as the
    // message's prefix
    std::string line;
    for (size_t i = 0; i < text.size(); ++i) {
        const size_t blanks = text[i] == '\n' ? text.find_first_not_of(' ', i + 1) - (i + 1) : 0;
        const bool joined = blanks >= 12 && i + 1 + blanks < text.size();
        line += joined ? ' ' : text[i];
        i += joined ? blanks : 0;
    }
    return line;
}

}  // namespace khextest
