// Runs a command several times and prints the median wall time in seconds and
// the largest peak resident set size in KiB:  benchrun RUNS COMMAND [ARGS...]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: benchrun RUNS COMMAND [ARGS...]\n");
        return 2;
    }
    int runs = std::atoi(argv[1]);
    std::vector<double> times;
    long peak_kib = 0;
    for (int i = 0; i < runs; ++i) {
        auto start = std::chrono::steady_clock::now();
        pid_t pid = fork();
        if (pid == 0) {
            execvp(argv[2], argv + 2);
            _exit(127);
        }
        int status;
        rusage usage{};
        wait4(pid, &status, 0, &usage);
        auto end = std::chrono::steady_clock::now();
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "benchrun: %s failed\n", argv[2]);
            return 1;
        }
        times.push_back(std::chrono::duration<double>(end - start).count());
        peak_kib = std::max(peak_kib, usage.ru_maxrss);
    }
    std::sort(times.begin(), times.end());
    std::printf("%.4f %ld\n", times[times.size() / 2], peak_kib);
    return 0;
}
