// libFuzzer target: the hex readers on untrusted files.
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
    khexfuzz::run_hex_input(data, size);
    return 0;
}
