#include "coff/loader.h"
#include "driver/diagnostics.h"

namespace khex {

bool load_coff()
{
    fatal("COFF loading is not available yet");
}

void report_load_failure() {}

}  // namespace khex
