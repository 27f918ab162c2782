// The bundled example of `make demo`, pinned file by file.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "helpers.h"

using namespace khextest;

namespace {

std::string source_file(const std::string& path)
{
    std::ifstream in(std::string(KHEX_SOURCE_DIR) + "/" + path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The two conversions of `make demo`: each command file, what khex prints,
// every file it writes, and the map from the given line on.
struct DemoRun {
    const char* command_file;
    const char* out;
    std::vector<std::pair<std::string, std::string>> files;
    const char* map;
    const char* map_from;
    const char* map_tail;
};

const DemoRun DEMO_RUNS[] = {
    {"demo.cmd",
     "Translating demo.out to Intel format...\n"
     "   \"demo.out\"   ==> .text\n"
     "   \"demo.out\"   ==> .data\n"
     "   \"demo.out\"   ==> .cinit\n",
     {{"code_lo.hex",
       ":200000003C4A58667482909EACBAC8D6E4F2000E1C2A38465462707E8C9AA8B6C4D2E0EE40\n"
       ":10004000FC0A18263442505E6C7A8896A4B2C0CE60\n"
       ":00000001FF\n"},
      {"code_hi.hex",
       ":2000000043515F6D7B8997A5B3C1CFDDEBF9071523313F4D5B69778593A1AFBDCBD9E7F560\n"
       ":1000400003111F2D3B49576573818F9DABB9C7D5F0\n"
       ":00000001FF\n"},
      {"data_lo.hex",
       ":20010000A0A2A4A6A8AAACAEB0B2B4B6B8BABCBEC0C2C4C6C8CACCCED0D2D4D6D8DADCDEFF\n"
       ":020200001133B8\n"
       ":010210005598\n"
       ":00000001FF\n"},
      {"data_hi.hex",
       ":20010000A1A3A5A7A9ABADAFB1B3B5B7B9BBBDBFC1C3C5C7C9CBCDCFD1D3D5D7D9DBDDDFDF\n"
       ":02020000224496\n"
       ":010210006687\n"
       ":00000001FF\n"}},
     "demo.map",
     "OUTPUT TRANSLATION MAP",
     "OUTPUT TRANSLATION MAP\n"
     "--------------------------------------------------------------------------------\n"
     "00000000..000000ff  Page=0  Memory Width=16  ROM Width=8  \"code_rom\"\n"
     "--------------------------------------------------------------------------------\n"
     "   OUTPUT FILES: code_lo.hex [b0..b7]\n"
     "                 code_hi.hex [b8..b15]\n"
     "\n"
     "   CONTENTS: 00000000..0000005f   .text\n"
     "\n"
     "--------------------------------------------------------------------------------\n"
     "00000100..000002ff  Page=0  Memory Width=16  ROM Width=8  \"data_rom\"\n"
     "--------------------------------------------------------------------------------\n"
     "   OUTPUT FILES: data_lo.hex [b0..b7]\n"
     "                 data_hi.hex [b8..b15]\n"
     "\n"
     "   CONTENTS: 00000100..0000013f   .data\n"
     "             00000200..00000211   .cinit\n"},
    // header: entry point 0x10 and no register entries; then .text's record
    // (0x60 bytes at 0) and bytes, .data's, one record per .cinit record, and
    // the end marker; 16-bit words read most significant byte first
    {"boot.cmd",
     "Translating demo.out to Intel format...\n"
     "   \"demo.out\"   ==> .text \t(BOOT LOAD)\n"
     "   \"demo.out\"   ==> .data \t(BOOT LOAD)\n"
     "   \"demo.out\"   ==> .cinit \t(BOOT LOAD)\n",
     {{"boot.hex",
       ":2000000000000010000000000000006000000000433C514A5F586D667B7489829790A59E68\n"
       ":20002000B3ACC1BACFC8DDD6EBE4F9F20700150E231C312A3F384D465B5469627770857EB0\n"
       ":20004000938CA19AAFA8BDB6CBC4D9D2E7E0F5EE03FC110A1F182D263B3449425750655E90\n"
       ":10006000736C817A8F889D96ABA4B9B2C7C0D5CE88\n"
       ":200070000000004000000100A1A0A3A2A5A4A7A6A9A8ABAAADACAFAEB1B0B3B2B5B4B7B61B\n"
       ":20009000B9B8BBBABDBCBFBEC1C0C3C2C5C4C7C6C9C8CBCACDCCCFCED1D0D3D2D5D4D7D660\n"
       ":0800B000D9D8DBDADDDCDFDE6C\n"
       ":1A00B8000000000400000200221144330000000200000210665500000000AF\n"
       ":00000001FF\n"}},
     "boot.map",
     "BOOT LOADER PARAMETERS",
     "BOOT LOADER PARAMETERS\n"
     "   Table Type:\t\t  SERIAL PORT (Kite 16 bit Mode)\n"
     "   Entry Point:\t\t  0x00000010  (_c_int00)\n"
     "\n\nOUTPUT TRANSLATION MAP\n"
     "--------------------------------------------------------------------------------\n"
     "00000000..000003ff  Page=0  Memory Width=16  ROM Width=16  \"boot_rom\"\n"
     "--------------------------------------------------------------------------------\n"
     "   OUTPUT FILES: boot.hex [b0..b15]\n"
     "\n"
     "   CONTENTS: 00000000..000000d1   BOOT TABLE\n"
     "                            .text : dest=00000000  size=00000060  width=00000001x\n"
     "                            .data : dest=00000100  size=00000040  width=00000001x\n"
     "                           .cinit : dest=00000180  size=00000014  width=00000001x\n"},
};

TEST(Demo, EachConversionFileByFile)
{
    for (const DemoRun& run : DEMO_RUNS) {
        SCOPED_TRACE(run.command_file);
        TempDir dir;
        dir.write("demo.out", coffgen::demo_program().build());
        dir.write(run.command_file, source_file(std::string("demo/") + run.command_file));
        auto r = run_khex(dir, {run.command_file});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out, run.out);
        std::vector<std::string> names{run.command_file, run.map, "demo.out"};
        for (const auto& [name, content] : run.files) {
            names.push_back(name);
            EXPECT_EQ(dir.read(name), content) << name;
        }
        std::sort(names.begin(), names.end());
        EXPECT_EQ(dir.files(), names);
        std::string map = dir.read(run.map);
        EXPECT_EQ(map.substr(map.find(run.map_from)), run.map_tail);
    }
}

TEST(Demo, AnIndependentReaderSeesTheEvenBytesOfTextInTheLowLane)
{
    TempDir dir;
    dir.write("demo.out", coffgen::demo_program().build());
    dir.write("demo.cmd", source_file("demo/demo.cmd"));
    ASSERT_EQ(run_khex(dir, {"demo.cmd"}).status, 0);
    std::string low = objcopy_decode(dir, "code_lo.hex", "ihex");
    EXPECT_EQ(static_cast<uint8_t>(low[0]), 0x3C);
    EXPECT_EQ(static_cast<uint8_t>(low[1]), 0x3C + 2 * 7);
}

}  // namespace

namespace {

// The image-mode example of the Windows zip and make demo converts without a
// warning, so it passes -werror; each code lane is its device's image with
// the CRC-32 of the code ROM in its last word.
TEST(Demo, TheImageCommandFilePassesWerror)
{
    TempDir dir;
    dir.write("demo.out", coffgen::demo_program().build());
    dir.write("image.cmd", source_file("demo/image.cmd"));
    RunResult r = run_khex(dir, {"-werror", "image.cmd"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    const std::string lo = objcopy_decode(dir, "image_code_lo.hex", "ihex");
    const std::string hi = objcopy_decode(dir, "image_code_hi.hex", "ihex");
    ASSERT_EQ(lo.size(), 0x80u);
    ASSERT_EQ(hi.size(), 0x80u);
    EXPECT_NE(dir.read("image.map").find("CHECKSUM crc32"), std::string::npos);
}

}  // namespace
