#include <string>
#include <vector>

#include "driver/platform.h"
#include "driver/run.h"
#include "output/pending.h"

int main(int argc, char** argv)
{
    std::vector<std::string> arguments = khex::program_arguments(argc, argv);
    std::vector<const char*> pointers;
    for (const std::string& a : arguments)
        pointers.push_back(a.c_str());
    pointers.push_back(nullptr);
    khex::on_interrupt(khex::remove_pending_files_now);
    return khex::run_khex(static_cast<int>(arguments.size()), pointers.data());
}
