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

// A small program: code, initialised data, RAM-model autoinitialisation
// records for .bss, and the symbols a linker keeps.
Coff demo_program()
{
    Coff coff;
    coff.entry_point = 0x0010;

    Section text{".text", 0x0000, {}, 0, STYP_TEXT};
    for (int i = 0; i < 0x60; ++i)
        text.data.push_back(static_cast<uint8_t>(0x3C + i * 7));
    Section data{".data", 0x0100, pattern(0x40, 0xA0), 0, STYP_DATA};
    Bytes cinit = cinit_record(0x0200, {0x11, 0x22, 0x33, 0x44}, false);
    Bytes second = cinit_record(0x0210, {0x55, 0x66}, false);
    cinit.insert(cinit.end(), second.begin(), second.end());
    cinit.insert(cinit.end(), {0, 0});  // a zero count ends the records
    Section cinit_section{".cinit", 0x0180, cinit, 0, STYP_COPY};
    Section bss{".bss", 0x0200, {}, 0x20, STYP_BSS};
    coff.sections = {text, data, cinit_section, bss};

    coff.symbols = {
        {"_c_int00", 0x0010, 1, 2, 0},
        {"_main", 0x0040, 1, 2, 1},
        {"_table", 0x0100, 2, 2, 0},
        {"_counter", 0x0200, 4, 2, 0},
        {"_initialised_flag", 0x0210, 4, 2, 0},
        {"$local", 0x0020, 1, 3, 0},
    };
    return coff;
}

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
