#include "test_run.h"

namespace khextest {

std::string read_all(FILE* f)
{
    std::fflush(f);
    std::string text;
    std::rewind(f);
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        text.append(buffer, n);
    std::fseek(f, 0, SEEK_END);
    return text;
}

TestRun::TestRun() : run_(std::make_unique<khex::Run>()), out_(std::tmpfile()), err_(std::tmpfile())
{
    run_->diagnostics.console = khex::Console{out_, err_};
}

TestRun::~TestRun()
{
    khex::discard_pending_files(run_->pending);
    khex::close_inputs(run_->input);
    std::fclose(out_);
    std::fclose(err_);
}

Captured TestRun::console() const
{
    return Captured{read_all(out_), read_all(err_)};
}

}  // namespace khextest
