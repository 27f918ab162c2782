// Writes the COFF files of the bundled example and of the benchmark.
//   mkcoff demo FILE          the example program of `make demo`
//   mkcoff bench BYTES FILE   one section of BYTES bytes of varied data at 0
//   mkcoff raw BYTES FILE     the same bytes as the bench section, as a raw file
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "coff_builder.h"

using namespace coffgen;

namespace {

Bytes bench_bytes(size_t n)
{
    Bytes b(n);
    uint32_t x = 0x12345678;
    for (size_t i = 0; i < n; ++i) {
        x = x * 1103515245u + 12345u;
        b[i] = static_cast<uint8_t>(x >> 16);
    }
    return b;
}

int usage()
{
    std::fprintf(stderr, "usage: mkcoff demo FILE | mkcoff bench BYTES FILE | mkcoff raw BYTES FILE\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "demo") == 0) {
        write_file(argv[2], demo_program().build());
        return 0;
    }
    if (argc == 4 && (std::strcmp(argv[1], "bench") == 0 || std::strcmp(argv[1], "raw") == 0)) {
        size_t n = std::strtoul(argv[2], nullptr, 0);
        Bytes data = bench_bytes(n);
        if (argv[1][0] == 'r') {
            write_file(argv[3], data);
            return 0;
        }
        Coff coff;
        coff.sections = {Section{".text", 0, data, 0, STYP_TEXT}};
        write_file(argv[3], coff.build());
        return 0;
    }
    return usage();
}
