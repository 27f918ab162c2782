#include "driver/usage.h"

#include <cstdio>

#include "driver/banner.h"
#include "driver/run.h"

namespace khex {

namespace {

const char* const FULL_USAGE[] = {
    "Options:\n",
    " -@<file>      Read commands from 'file'\n",
    " -q            Quiet Operation\n",
    " -e<addr>      Specify entrypoint address or symbol name\n",
    " -o<file>      Specify output file names\n",
    " -image        Select image mode\n",
    " -zero         Zero based addressing\n",
    " -fill<x>      Specify fill value\n",
    " -romwidth<x>  Specify rom width\n",
    " -memwidth<x>  Specify memory width\n",
    " -datawidth<x> Specify data width\n",
    " -order        Specify data ordering (endinness)\n",
    " -bootorg<adr> Specify origin address or symbol of boot table ROM\n",
    " -map<file>    Specify map file name\n",
    "\n",
    "Output Format Specification:\n",
    " -a            Output ASCII hex format\n",
    " -i            Output Intel hex format\n",
    " -m[1|2|3]     Output Motorola S hex format\n",
    " -t            Output ZQ-Tagged hex format\n",
    " -x            Output Extended Tektronix hex format\n",
    "\n",
    "            See the User's guide for additional information\n",
    "            and target specific options.\n",
    "\n",
};

void write_usage(const Run& run, bool full)
{
    FILE* out = run.console.out;
    std::fprintf(out, "%-*.*s%s\n", 34, 34, BANNER_TITLE, BANNER_VERSION);
    std::fprintf(out, "%-*.*s%s\n", 34, 34, BANNER_SUBTITLE, BANNER_NOTICE);
    std::fprintf(out, "\n");
    std::fprintf(out, "Usage: %s [-options | -h] filename\n", run.walk.program.c_str());
    std::fprintf(out, "\n");
    if (full)
        for (const char* line : FULL_USAGE)
            std::fputs(line, out);
}

}  // namespace

void print_usage(Run& run, bool full)
{
    write_usage(run, full);
    end_run(1);
}

void print_help(Run& run)
{
    write_usage(run, true);
    end_run(0);
}

void print_version(Run& run)
{
    std::fprintf(run.console.out, "khex %s\n", PROGRAM_VERSION);
    end_run(0);
}

}  // namespace khex
