// A run of khex's own procedures inside a test: the run record, with its
// console written into temporary files that the test reads back.
#pragma once
#include <cstdio>
#include <memory>
#include <string>

#include "driver/run.h"

namespace khextest {

struct Captured {
    std::string out;
    std::string err;
};

// Everything written to a stream opened for update, from its start.
std::string read_all(FILE* f);

class TestRun {
public:
    TestRun();
    ~TestRun();
    TestRun(const TestRun&) = delete;
    TestRun& operator=(const TestRun&) = delete;

    khex::Run& operator*() { return *run_; }
    khex::Run* operator->() { return run_.get(); }
    // What the run wrote to its console so far.
    Captured console() const;

private:
    std::unique_ptr<khex::Run> run_;
    FILE* out_;
    FILE* err_;
};

}  // namespace khextest
