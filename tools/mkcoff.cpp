// Writes the COFF files of the bundled example and of the benchmark.
//   mkcoff demo FILE          the example program of `make demo`
//   mkcoff bench BYTES FILE   one section of BYTES bytes of varied data at 0
//   mkcoff elf BYTES FILE     the bench program as an ELF executable
//   mkcoff raw BYTES FILE     the same bytes as the bench section, as a raw file
//   mkcoff seeds DIR          seed inputs of the COFF fuzz target
//   mkcoff elfseeds DIR       seed inputs of the ELF fuzz target
//   mkcoff sweep DIR          the programs tools/sweep.py converts
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "coff_builder.h"
#include "elf_builder.h"

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

// A fuzz input: four bytes that choose the options, then the COFF file.
void write_seed(const std::string& dir, const std::string& name, const Bytes& options, const Coff& coff)
{
    Bytes input = options;
    Bytes file = coff.build();
    input.insert(input.end(), file.begin(), file.end());
    write_file(dir + "/" + name, input);
}

void write_seeds(const std::string& dir)
{
    Coff demo = demo_program();
    write_seed(dir, "demo-intel", {1, 1, 0, 1}, demo);
    write_seed(dir, "demo-image-map", {7, 0, 0x09, 1}, demo);
    write_seed(dir, "demo-boot", {0, 4, 0x0C, 0x0C}, demo);
    write_seed(dir, "demo-bootstrap-rev1", {10, 0, 0x04, 0x10}, demo);
    write_seed(dir, "demo-zq", {6, 4, 0x23, 2}, demo);
    write_seed(dir, "demo-generic-ms", {9, 3, 0x61, 1}, demo);
    Coff big = demo;
    big.big_endian_headers = true;
    big.target_big_endian = true;
    write_seed(dir, "demo-big-endian", {3, 1, 0xA0, 1}, big);
    Coff old = demo;
    old.version = 0x009C;
    old.optional_header_size = 0;
    write_seed(dir, "demo-version0", {4, 2, 0x10, 1}, old);
    Coff v1 = demo;
    v1.version = 0x00C1;
    v1.sections[0].name = ".text_with_a_long_name";
    write_seed(dir, "demo-version1-long-name", {5, 1, 0, 0}, v1);
}

// ELF builds of the example: either byte order, addresses in 16-bit words,
// a section loaded away from its run address, no program headers.
void write_elf_seeds(const std::string& dir)
{
    Coff demo = demo_program();
    auto seed = [&dir](const std::string& name, const Bytes& options, const Bytes& file) {
        Bytes input = options;
        input.insert(input.end(), file.begin(), file.end());
        write_file(dir + "/" + name, input);
    };
    seed("elf-intel", {1, 1, 0, 1}, elf_from(demo));
    seed("elf-image-map", {7, 0, 0x09, 1}, elf_from(demo, {.addrunit = 16}));
    seed("elf-boot", {0, 4, 0x0C, 0x0C}, elf_from(demo, {.load_at = {{".data", 0x1000}}}));
    seed("elf-no-segments", {6, 4, 0x23, 2}, elf_from(demo, {.segments = false}));
    Coff big = demo;
    big.target_big_endian = true;
    seed("elf-big-endian", {3, 1, 0xA0, 1}, elf_from(big));
}

// Programs that take the data path's different turns: RAM-model records,
// either byte order, two pages, an odd-sized section, data across 64 KiB and
// an old header version.
void write_sweep_programs(const std::string& dir)
{
    Coff demo = demo_program();
    write_file(dir + "/demo.out", demo.build());
    Coff big = demo;
    big.big_endian_headers = true;
    big.target_big_endian = true;
    write_file(dir + "/big.out", big.build());
    Coff old = demo;
    old.version = 0x009C;
    old.optional_header_size = 0;
    write_file(dir + "/old.out", old.build());
    Coff pages;
    pages.entry_point = 0x20;
    pages.sections = {
        Section{".text", 0x0020, pattern(0x46, 0x31), 0, STYP_TEXT},
        Section{".odd", 0x0080, pattern(5, 0xE1), 0, STYP_DATA},
        Section{".far", 0xFFF0, pattern(0x30, 0x70), 0, STYP_DATA},
        Section{".page1", 0x0010, pattern(0x22, 0x90), 0, STYP_DATA, 1},
        Section{".bss", 0x0300, {}, 0x10, STYP_BSS},
    };
    pages.symbols = {{"_start", 0x20}, {"_far", 0xFFF0, 3}};
    write_file(dir + "/pages.out", pages.build());
}

int usage()
{
    std::fprintf(stderr, "usage: mkcoff demo FILE | mkcoff bench BYTES FILE | mkcoff elf BYTES FILE | mkcoff raw BYTES FILE | mkcoff seeds DIR | mkcoff elfseeds DIR | mkcoff sweep DIR\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "demo") == 0) {
        write_file(argv[2], demo_program().build());
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[1], "sweep") == 0) {
        write_sweep_programs(argv[2]);
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[1], "seeds") == 0) {
        write_seeds(argv[2]);
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[1], "elfseeds") == 0) {
        write_elf_seeds(argv[2]);
        return 0;
    }
    if (argc == 4 && (std::strcmp(argv[1], "bench") == 0 || std::strcmp(argv[1], "raw") == 0 ||
                      std::strcmp(argv[1], "elf") == 0)) {
        size_t n = std::strtoul(argv[2], nullptr, 0);
        Bytes data = bench_bytes(n);
        if (argv[1][0] == 'r') {
            write_file(argv[3], data);
            return 0;
        }
        Coff coff;
        coff.sections = {Section{".text", 0, data, 0, STYP_TEXT}};
        write_file(argv[3], argv[1][0] == 'e' ? elf_from(coff) : coff.build());
        return 0;
    }
    return usage();
}
