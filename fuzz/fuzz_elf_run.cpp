// libFuzzer target: a whole run on a fuzzed ELF file.
#include <cstddef>
#include <cstdint>

#include "harness.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    khexfuzz::enter_scratch_directory();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    khexfuzz::run_elf_input(data, size);
    return 0;
}
