#include <cstdio>

#include "khex.h"
#include "platform/pending.h"
#include "platform/platform.h"

int main(int argc, char** argv)
{
    khex::on_interrupt(khex::remove_pending_files_now);
    khex::keep_freed_blocks();
    int status = khex::run(khex::program_arguments(argc, argv), stdout, stderr);
    // the COFF reader's direct stop ends the process with -1, as it always has
    return status == khex::DIRECT_STOP_STATUS ? -1 : status;
}
