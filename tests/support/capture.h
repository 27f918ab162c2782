// Captures what in-process code writes to standard output and standard error.
#pragma once
#include <functional>
#include <string>

namespace khextest {

struct Captured {
    std::string out;
    std::string err;
};

Captured capture(const std::function<void()>& body);

}  // namespace khextest
