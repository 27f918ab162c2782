#include "capture.h"

#include <unistd.h>

#include <cstdio>

namespace khextest {

namespace {

std::string read_all(FILE* f)
{
    std::string text;
    std::rewind(f);
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        text.append(buffer, n);
    return text;
}

}  // namespace

Captured capture(const std::function<void()>& body)
{
    std::fflush(stdout);
    std::fflush(stderr);
    FILE* out = std::tmpfile();
    FILE* err = std::tmpfile();
    int saved_out = dup(1);
    int saved_err = dup(2);
    dup2(fileno(out), 1);
    dup2(fileno(err), 2);
    try {
        body();
    } catch (...) {
        std::fflush(stdout);
        std::fflush(stderr);
        dup2(saved_out, 1);
        dup2(saved_err, 2);
        close(saved_out);
        close(saved_err);
        std::fclose(out);
        std::fclose(err);
        throw;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    dup2(saved_out, 1);
    dup2(saved_err, 2);
    close(saved_out);
    close(saved_err);
    Captured result{read_all(out), read_all(err)};
    std::fclose(out);
    std::fclose(err);
    return result;
}

}  // namespace khextest
