// ELF executables: one program built as COFF and as ELF gives the same files,
// reports and verdicts through every feature; binutils' ELF files convert as
// objcopy reads them; malformed ELF files end with a message and no file.
#include <gtest/gtest.h>

#include <map>

#include "elf_builder.h"
#include "helpers.h"

using namespace khextest;
using coffgen::Bytes;

namespace {

// Code, data with a placeholder for a CRC, a section in the boot table's
// way, uninitialised data and the symbols the command files name.
coffgen::Coff program(bool big_endian)
{
    coffgen::Coff c;
    c.target_big_endian = big_endian;
    c.big_endian_headers = big_endian;
    c.entry_point = 0x100;
    c.sections = {
        {".text", 0x100, coffgen::pattern(0x46, 0x31), 0, coffgen::STYP_TEXT},
        {".data", 0x200, coffgen::pattern(0x20, 0xA0), 0, coffgen::STYP_DATA},
        {".crc", 0x240, Bytes(4), 0, coffgen::STYP_DATA},
        {".boot", 0x1080, coffgen::pattern(0x12, 0x50), 0, coffgen::STYP_TEXT},
        {".bss", 0x300, {}, 0x10, coffgen::STYP_BSS},
    };
    c.symbols = {{"_main", 0x104, 1}, {"_table", 0x208, 2}, {"_crc", 0x240, 3}, {"_stack", 0x800, -1}};
    return c;
}

const char* const COMMANDS = R"(ROMS
{
    PAGE 0:
        LOW:  origin = 0x0000, length = 0x400, romwidth = 8, memwidth = 16, files = { low.lo, low.hi }
        HIGH: origin = 0x1000, length = 0x100, romwidth = 16, memwidth = 16, files = { high.hex }
}
)";

// What a run left: its status, its messages and every file but the inputs.
struct Outcome {
    int status;
    std::string out, err;
    std::map<std::string, std::string> files;
};

Outcome convert(const Bytes& executable, const std::string& sections, const std::vector<std::string>& args)
{
    TempDir dir;
    dir.write("app.out", executable);
    dir.write("rom.cmd", std::string(COMMANDS) + sections);
    dir.write("ins.bin", Bytes{1, 2, 3, 4, 5, 6});
    std::vector<std::string> all{"-q", "rom.cmd", "app.out"};
    all.insert(all.end(), args.begin(), args.end());
    RunResult r = run_khex(dir, all);
    Outcome o{r.status, r.out, r.err, {}};
    for (const std::string& name : dir.files())
        if (name != "app.out" && name != "rom.cmd" && name != "ins.bin")
            o.files[name] = dir.read_bytes(name);
    return o;
}

// The map's one line about word addresses, whatever its line end.
std::string without_unit_line(std::string map)
{
    const size_t at = map.find("ADDRESS UNIT:    16-bit words (the ELF file's addresses doubled)");
    return at == std::string::npos ? map : map.erase(at, map.find('\n', at) + 1 - at);
}

TEST(ElfInput, ConvertsAsTheSameProgramBuiltAsCoff)
{
    struct Row {
        const char* what;
        bool big_endian;
        int addrunit;
        std::vector<std::string> args;
        std::string sections;
    };
    const std::vector<Row> rows = {
        {"Intel lanes and the reports", false, 8, {"-i", "-map", "r.map", "-mapjson", "r.json", "-mapsvg", "r.svg"}, ""},
        {"Motorola image, big-endian target", true, 8, {"-m3", "-image", "-fill", "0x5a5a", "-map", "r.map"}, ""},
        {"addresses in 16-bit words", false, 16, {"-x", "-image", "-map", "r.map", "-mapjson", "r.json"}, ""},
        {"a CRC at a symbol, a field and an insert", false, 8,
         {"-i", "-image", "-checksum", "LOW,crc32,at=_crc", "-field", "LOW,last,at=_table", "-insert",
          "HIGH,ins.bin,at=0x1010", "-map", "r.map", "-mapjson", "r.json"},
         ""},
        {"a boot table with its entry at a symbol", false, 8,
         {"-m", "-e", "_main", "-map", "r.map", "-mapjson", "r.json"},
         "SECTIONS { .text .data .crc .boot: boot }\n"},
        {"a boot table in words, big-endian", true, 16, {"-a", "-boot", "-bootorg", "0x1000", "-map", "r.map"}, ""},
        {"device files and a set in another format", false, 8,
         {"-vmem", "-also", "m3,LOW", "-map", "r.map"},
         "SECTIONS { .text .data }\n"},
        {"a section placed elsewhere, symbols that follow it", false, 8,
         {"-i", "-image", "-field", "LOW,first,at=_table", "-map", "r.map", "-mapjson", "r.json"},
         "SECTIONS { .text .data: paddr = 0x380 .crc }\n"},
        {"the listing of sections and symbols", false, 16, {"-symbols"}, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const coffgen::Coff c = program(row.big_endian);
        const Outcome coff = convert(c.build(), row.sections, row.args);
        std::vector<std::string> elf_args = row.args;
        if (row.addrunit == 16)
            elf_args.insert(elf_args.end(), {"-addrunit", "16"});
        const Outcome elf = convert(coffgen::elf_from(c, {.addrunit = row.addrunit}), row.sections, elf_args);
        EXPECT_EQ(elf.status, coff.status) << elf.err;
        EXPECT_EQ(elf.out, coff.out);
        EXPECT_EQ(elf.err, coff.err);
        ASSERT_FALSE(coff.files.empty() && row.args[0] != "-symbols");
        EXPECT_EQ(elf.files.size(), coff.files.size());
        for (const auto& [name, bytes] : coff.files) {
            auto found = elf.files.find(name);
            ASSERT_NE(found, elf.files.end()) << name;
            const bool map = name == "r.map";
            EXPECT_EQ(map ? without_unit_line(found->second) : found->second, bytes) << name;
            if (map) {
                EXPECT_EQ(found->second != bytes, row.addrunit == 16) << "the map says when addresses count words";
            }
        }
    }
}

// A segment's load address places a section as SECTIONS' paddr does, and the
// section's symbols follow it; verify gives the same verdicts.
TEST(ElfInput, SegmentLoadAddressesPlaceSectionsAndVerifyAgrees)
{
    const coffgen::Coff c = program(false);
    const std::vector<std::string> args{"-i", "-romaddr", "-image", "-field", "LOW,first,at=_table", "-mapjson", "r.json"};
    const Outcome coff = convert(c.build(), "SECTIONS { .text .data: paddr = 0x380 .crc }\n", args);
    const Outcome elf = convert(coffgen::elf_from(c, {.load_at = {{".data", 0x380}}}), "SECTIONS { .text .data .crc }\n",
                                args);
    ASSERT_EQ(coff.status, 0) << coff.err;
    EXPECT_EQ(elf.status, 0) << elf.err;
    for (const char* name : {"low.lo", "low.hi", "high.hex"})
        EXPECT_EQ(elf.files.at(name), coff.files.at(name)) << name;

    // a read-back without the field: the same verdict on both builds
    std::vector<std::string> plain = args;
    plain.erase(plain.begin() + 3, plain.begin() + 5);
    const std::string back = convert(c.build(), "SECTIONS { .text .data: paddr = 0x380 .crc }\n", plain).files.at("low.hi");
    std::vector<std::string> verdicts;
    for (const Bytes& executable : {c.build(), coffgen::elf_from(c, {.load_at = {{".data", 0x380}}})}) {
        TempDir dir;
        dir.write("app.out", executable);
        dir.write("back.hi", back);
        dir.write("rom.cmd", std::string(COMMANDS) + (executable[0] == 0x7F ? "SECTIONS { .text .data .crc }\n"
                                                          : "SECTIONS { .text .data: paddr = 0x380 .crc }\n"));
        RunResult r = run_khex(dir, {"-q", "-i", "-romaddr", "-image", "rom.cmd", "app.out", "-field",
                                     "LOW,first,at=_table", "-verify", "low.hi=back.hi"});
        EXPECT_EQ(r.status, 1) << r.err;
        verdicts.push_back(r.out);
    }
    EXPECT_NE(verdicts[0].find("verify low.hi: back.hi differs in 2 of 512 bytes"), std::string::npos) << verdicts[0];
    EXPECT_EQ(verdicts[1], verdicts[0]);
}

// An executable that binutils linked from raw bytes converts to what objcopy
// reads from it.
TEST(ElfInput, BinutilsExecutablesConvertAsObjcopyReadsThem)
{
    TempDir dir;
    const Bytes raw = coffgen::pattern(0x3E5, 0x17);
    dir.write("blob.bin", raw);
    RunResult r = run_program(dir, {"objcopy", "-I", "binary", "-O", "elf32-i386", "-B", "i386", "--rename-section",
                                    ".data=.text,alloc,load,contents,code", "blob.bin", "blob.o"});
    ASSERT_EQ(r.status, 0) << r.err;
    r = run_program(dir, {"ld", "-m", "elf_i386", "-Ttext", "0x2468", "-e", "0x2468", "-o", "app.elf", "blob.o"});
    ASSERT_EQ(r.status, 0) << r.err;
    r = run_program(dir, {"objcopy", "-O", "ihex", "app.elf", "objcopy.hex"});
    ASSERT_EQ(r.status, 0) << r.err;
    r = run_khex(dir, {"-q", "-i", "-memwidth", "8", "-romwidth", "8", "app.elf", "-o", "khex.hex"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string decoded = objcopy_decode(dir, "khex.hex", "ihex");
    EXPECT_EQ(decoded, std::string(raw.begin(), raw.end()));
    EXPECT_EQ(decoded, objcopy_decode(dir, "objcopy.hex", "ihex"));
    r = run_khex(dir, {"-sections", "app.elf"});
    EXPECT_NE(r.out.find(".text       0  0x00002468  0x00002468  0x000003e5  initialised"), std::string::npos) << r.out;
}

// Every malformed ELF file ends the run with a message naming the file and
// what is wrong, and no file appears.
TEST(ElfInput, MalformedFilesEndWithAMessageAndNoFile)
{
    coffgen::ElfLayout at;
    const Bytes good = coffgen::elf_from(program(false), {}, &at);
    auto put16 = [](Bytes& b, size_t offset, uint16_t v) { coffgen::put16(b, offset, v, false); };
    auto put32 = [](Bytes& b, size_t offset, uint32_t v) { coffgen::put32(b, offset, v, false); };
    const size_t text_header = at.section_headers + 40;  // section 1
    const size_t symtab_header = at.section_headers + 40 * 6;
    struct Row {
        const char* what;
        std::function<void(Bytes&)> change;
        const char* message;
    };
    const std::vector<Row> rows = {
        {"cut in its header", [](Bytes& b) { b.resize(40); }, "too short for an ELF header"},
        {"64-bit", [](Bytes& b) { b[4] = 2; }, "is a 64-bit ELF file"},
        {"an unknown byte order", [](Bytes& b) { b[5] = 3; }, "unknown byte order 3"},
        {"relocatable", [&](Bytes& b) { put16(b, 16, 1); }, "is a relocatable object"},
        {"a shared object", [&](Bytes& b) { put16(b, 16, 3); }, "is not an executable (ELF type 3)"},
        {"section headers past the end", [&](Bytes& b) { put32(b, 32, static_cast<uint32_t>(b.size() - 10)); },
         "section headers (9) outside the file"},
        {"an absurd section count", [&](Bytes& b) { put16(b, 48, 0xFFFE); }, "section headers (65534) outside"},
        {"program headers past the end", [&](Bytes& b) { put16(b, 44, 0x4000); }, "program headers (16384) outside"},
        {"section headers of another size", [&](Bytes& b) { put16(b, 46, 64); }, "section headers of 64 bytes"},
        {"a name outside the name table", [&](Bytes& b) { put32(b, text_header, 0x10000); },
         "names section 1 outside its section name table"},
        {"a section's bytes past the end", [&](Bytes& b) { put32(b, text_header + 20, 0x100000); },
         "section .text outside the file"},
        {"a segment past the end", [&](Bytes& b) { put32(b, at.program_headers + 16, 0x100000); },
         "load segment 0 outside the file"},
        {"overlapping segments", [&](Bytes& b) { put32(b, at.program_headers + 32 + 12, 0x120); },
         "load segments that overlap at 0x00000120"},
        {"a symbol name outside its table", [&](Bytes& b) { put32(b, at.symbols + 16, 0x7FFFFFFF); },
         "names symbol 1 outside its string table"},
        {"symbols of another size", [&](Bytes& b) { put32(b, symtab_header + 36, 18); }, "symbols of 18 bytes"},
        {"a symbol in no section", [&](Bytes& b) { put16(b, at.symbols + 16 + 14, 0x200); },
         "puts symbol _main in section 512"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Bytes file = good;
        row.change(file);
        TempDir dir;
        dir.write("app.out", file);
        RunResult r = run_khex(dir, {"-q", "-i", "-map", "r.map", "-e", "_main", "app.out"});
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(unwrapped(r.err).find("ERROR: ELF file 'app.out': "), std::string::npos) << r.err;
        EXPECT_NE(unwrapped(r.err).find(row.message), std::string::npos) << r.err;
        EXPECT_EQ(dir.files(), std::vector<std::string>{"app.out"});
    }
}

// -addrunit takes 8 or 16, and says nothing of a COFF file's addresses.
TEST(ElfInput, AddressUnitOption)
{
    TempDir dir;
    dir.write("app.out", program(false).build());
    RunResult r = run_khex(dir, {"-q", "-i", "-addrunit", "12", "app.out"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("-addrunit must be 8 or 16, not 12"), std::string::npos) << r.err;
    r = run_khex(dir, {"-q", "-i", "-addrunit", "16", "app.out", "-o", "a.hex"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(unwrapped(r.err).find("-addrunit counts an ELF file's addresses: ignored for COFF file app.out"),
              std::string::npos)
        << r.err;
    dir.write("app.out", coffgen::elf_from(program(false), {.segments = false}));
    r = run_khex(dir, {"-q", "-i", "app.out", "-o", "b.hex"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(unwrapped(r.err).find("section .text of app.out is in no load segment: placed at 0x00000100"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(dir.read("a.hex"), dir.read("b.hex"));
}

}  // namespace
