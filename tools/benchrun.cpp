// Runs a command several times and prints the median wall time and the median
// user time in seconds, and the largest peak resident set size in KiB:
//   benchrun RUNS [-r FILE]... COMMAND [ARGS...]
// Each -r FILE is removed before every run (not timed), for fresh outputs.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: benchrun RUNS [-r FILE]... COMMAND [ARGS...]\n");
        return 2;
    }
    int runs = std::atoi(argv[1]);
    int first = 2;
    std::vector<const char*> removed;
    while (first + 1 < argc && std::strcmp(argv[first], "-r") == 0) {
        removed.push_back(argv[first + 1]);
        first += 2;
    }
    std::vector<double> walls, users;
    long peak_kib = 0;
    for (int i = 0; i < runs; ++i) {
        for (const char* file : removed)
            unlink(file);
        auto start = std::chrono::steady_clock::now();
        pid_t pid = fork();
        if (pid == 0) {
            execvp(argv[first], argv + first);
            _exit(127);
        }
        int status;
        rusage usage{};
        wait4(pid, &status, 0, &usage);
        auto end = std::chrono::steady_clock::now();
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "benchrun: %s failed\n", argv[first]);
            return 1;
        }
        walls.push_back(std::chrono::duration<double>(end - start).count());
        users.push_back(static_cast<double>(usage.ru_utime.tv_sec) + usage.ru_utime.tv_usec / 1e6);
        peak_kib = std::max(peak_kib, usage.ru_maxrss);
    }
    std::printf("%.4f %.4f %ld\n", median(walls), median(users), peak_kib);
    return 0;
}
