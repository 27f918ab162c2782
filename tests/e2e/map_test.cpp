// The map file end to end: header, range entries, fill areas, sections that
// continue in the next range, incomplete sections and empty ranges.
#include <gtest/gtest.h>

#include "helpers.h"

using namespace khextest;
using coffgen::Coff;

namespace {

const std::string STARS(80, '*');
const std::string DASHES(80, '-');

std::string header(const std::string& format, const std::string& widths)
{
    return STARS + "\n" + "khex COFF to hex converter" + std::string(41, ' ') + "Version 1.0.0\n" + STARS +
           "\n\nINPUT FILE NAME: <app.out>\nOUTPUT FORMAT:   " + format + "\n\nPHYSICAL MEMORY PARAMETERS\n" + widths;
}

const std::string DEFAULT_WIDTHS =
    "   Default data width   :   8\n"
    "   Default memory width :  16\n"
    "   Default output width :   8\n";

std::string range_line(const std::string& line)
{
    return "\n" + DASHES + "\n" + line + "\n" + DASHES + "\n";
}

TEST(Map, DefaultRangesWithAndWithoutContents)
{
    TempDir dir;
    dir.write("app.out", small_program().build());
    auto r = run_khex(dir, {"-q", "-i", "-map", "app.map", "app"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(dir.read("app.map"),
              header("Intel", DEFAULT_WIDTHS) + "\n\nOUTPUT TRANSLATION MAP" +
                  range_line("00000000..00ffffff  Page=0  Memory Width=16  ROM Width=8") +
                  "   OUTPUT FILES: app.i00 [b0..b7]\n"
                  "                 app.i01 [b8..b15]\n"
                  "\n   CONTENTS: 00000100..00000107   .text\n"
                  "             00000200..00000203   .data\n" +
                  range_line("00000000..00ffffff  Page=1  Memory Width=16  ROM Width=8  \"*DEFAULT PAGE 1*\"") +
                  "   NO CONTENTS\n");
}

TEST(Map, ImageModeFillLinesAndOrderNote)
{
    TempDir dir;
    dir.write("app.out", small_program().build());
    dir.write("r.cmd",
              "ROMS {\n"
              "  a: o = 0x100 l = 0x80 fill = 0xFFFF\n"
              "  b: o = 0x180 l = 0x100\n"
              "  c: o = 0x400 l = 0x10\n"
              "}\n");
    auto r = run_khex(dir, {"-q", "-x", "-image", "-datawidth", "32", "-order", "LS", "-map", "app.map", "r.cmd", "app"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.read("app.map"),
              header("Extended Tektronix",
                     "   Default data width   :  32\n"
                     "   Default memory width :  16 (LS-->MS)\n"
                     "   Default output width :   8\n") +
                  "\n\nOUTPUT TRANSLATION MAP" +
                  range_line("00000100..0000017f  Page=0  Memory Width=16  ROM Width=8  \"a\"") +
                  "   OUTPUT FILES: app.x00 [b0..b7]\n"
                  "                 app.x01 [b8..b15]\n"
                  "\n   CONTENTS: 00000100..00000107   .text\n"
                  "             00000108..0000017f   FILL = 0000ffff\n" +
                  range_line("00000180..0000027f  Page=0  Memory Width=16  ROM Width=8  \"b\"") +
                  "   OUTPUT FILES: app.x10 [b0..b7]\n"
                  "                 app.x11 [b8..b15]\n"
                  "\n   CONTENTS: 00000180..000001ff   FILL = 00000000\n"
                  "             00000200..00000203   .data\n"
                  "             00000204..0000027f   FILL = 00000000\n" +
                  range_line("00000400..0000040f  Page=0  Memory Width=16  ROM Width=8  \"c\"") +
                  "   OUTPUT FILES: app.x20 [b0..b7]\n"
                  "                 app.x21 [b8..b15]\n");
}

TEST(Map, SectionsContinuedInTheNextRangeAndIncompleteOnes)
{
    TempDir dir;
    Coff c = small_program();
    c.sections[1].vaddr = 0x106;  // starts inside .text
    dir.write("app.out", c.build());
    dir.write("r.cmd", "ROMS { lo: o = 0x100 l = 4  hi: o = 0x104 l = 0x100 w = 16 }\n");
    auto r = run_khex(dir, {"-q", "-map", "app.map", "r.cmd", "app"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err,
              ">> WARNING: section '.data' at 0106h overlaps .text (.data incomplete or\n"
              "            skipped)\n");
    std::string map = dir.read("app.map");
    EXPECT_EQ(map.substr(map.find("\n\nOUTPUT TRANSLATION MAP")),
              "\n\nOUTPUT TRANSLATION MAP" +
                  range_line("00000100..00000103  Page=0  Memory Width=16  ROM Width=8  \"lo\"") +
                  "   OUTPUT FILES: app.x00 [b0..b7]\n"
                  "                 app.x01 [b8..b15]\n"
                  "\n   CONTENTS: 00000100..00000103   .text\n" +
                  range_line("00000104..00000203  Page=0  Memory Width=16  ROM Width=16  \"hi\"") +
                  "   OUTPUT FILES: app.x10 [b0..b15]\n"
                  "\n   CONTENTS: 00000104..00000107   .text\n"
                  "             00000108..00000109   .data (INCOMPLETE)\n");
}

TEST(Map, ASectionWhoseLastWordWrapsIsListedOnce)
{
    TempDir dir;
    Coff c;
    c.sections = {{".switch", 0xFFFFFFFB, {1, 2, 3, 4, 5}, 0, coffgen::STYP_DATA}};
    dir.write("app.out", c.build());
    dir.write("r.cmd", "ROMS { r0x: origin 0xfffffff8, length 8 }\n");
    auto r = run_khex(dir, {"-q", "-map", "app.map", "r.cmd", "app"});
    EXPECT_EQ(r.status, 0);
    std::string map = dir.read("app.map");
    EXPECT_EQ(map.substr(map.find("   CONTENTS:")), "   CONTENTS: fffffffb..00000000   .switch\n");
}

// A boot table behind a section and in front of another: listed once, with
// the fill around it and the section behind it; the fill after it starts
// where the table ends, whatever its sections' sizes add up to.
TEST(Map, ABootTableBetweenSectionsInImageMode)
{
    TempDir dir;
    Coff c;
    c.sections = {
        {".data", 0x250, coffgen::pattern(0x10), 0, coffgen::STYP_DATA},
        {".init", 0x400, coffgen::pattern(0x20), 0, coffgen::STYP_TEXT},
        {".more", 0x500, coffgen::pattern(0x08), 0, coffgen::STYP_TEXT},
        {".tail", 0x2F0, coffgen::pattern(0x10), 0, coffgen::STYP_DATA},
    };
    c.symbols = {{"_start", 0}};
    dir.write("app.out", c.build());
    dir.write("r.cmd", "ROMS { hi: o = 0x200 l = 0x100 fill = 0xFFFF }\n"
                       "SECTIONS { .data .init = BOOT .more = BOOT .tail }\n");
    auto r = run_khex(dir, {"-q", "-i", "-image", "-romaddr", "-zero", "-bootorg", "0x280", "-map", "app.map", "r.cmd", "app"});
    EXPECT_EQ(r.status, 0) << r.err;
    std::string map = dir.read("app.map");
    EXPECT_EQ(map.substr(map.find("   CONTENTS:")),
              "   CONTENTS: 00000200..0000024f   FILL = 0000ffff\n"
              "             00000250..0000025f   .data\n"
              "             00000260..0000027f   FILL = 0000ffff\n"
              "             00000280..000002c3   BOOT TABLE\n"
              "                            .init : dest=00000400  size=00000020  width=00000001x\n"
              "                            .more : dest=00000500  size=00000008  width=00000001x\n"
              "             000002c4..000002ef   FILL = 0000ffff\n"
              "             000002f0..000002ff   .tail\n");
    // the lane files agree: the table ends at 0x2c3 (device word 0x61), the
    // fill runs from 0x2c4 to 0x2ef (device words 0x62..0x77)
    const std::string lo = objcopy_decode(dir, "app.i0", "ihex"), hi = objcopy_decode(dir, "app.i1", "ihex");
    ASSERT_EQ(lo.size(), 0x80u);
    ASSERT_EQ(hi.size(), 0x80u);
    EXPECT_EQ(std::string() + lo[0x61] + hi[0x61], std::string(2, '\0'));  // the table's end marker
    EXPECT_EQ(lo.substr(0x62, 0x16) + hi.substr(0x62, 0x16), std::string(0x2C, '\xFF'));
}

// Boot tables that reach or cross a range's end: no FILL over the table's
// bytes, one line per boot section in each range, and the JSON report's
// table entry is the bytes the table placed in the range.
TEST(Map, BootTablesThatReachOrCrossTheRangesEnd)
{
    struct Case {
        const char* what;
        uint32_t section_size;
        const char* roms;
        std::vector<std::string> options;
        const char* contents;     // of the first range
        const char* json_extent;  // of its boot table entry, and the range's fill bytes
    };
    const Case cases[] = {
        {"a section larger than its range", 2544, "ROMS { r: o = 0x272 l = 0x800 }", {},
         "   CONTENTS: 00000272..00000281   BOOT TABLE\n"
         "                            .boot : dest=00001000  size=000009f0  width=00000001x\n",
         "[626,2673,0]"},
        {"an end marker in the range's last word", 44, "ROMS { r: o = 0 l = 0x40 }", {},
         "   CONTENTS: 00000000..0000003d   BOOT TABLE\n"
         "                            .boot : dest=00001000  size=0000002c  width=00000001x\n",
         "[0,63,0]"},
        {"a table starting below its range", 40, "ROMS { a: o = 0x9df l = 8  b: o = 0xa00 l = 0x100 }",
         {"-bootorg", "0x9da"},
         "   CONTENTS: 000009da..000009d9   BOOT TABLE (INCOMPLETE)\n"
         "                            .boot : dest=00001000  size=00000028  width=00000001x\n",
         "[2527,2534,0]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        Coff coff;
        coff.entry_point = 0x1000;
        coff.sections = {{".boot", 0x1000, coffgen::pattern(c.section_size, 1), 0, coffgen::STYP_TEXT}};
        dir.write("app.out", coff.build());
        dir.write("r.cmd", std::string(c.roms) + "\nSECTIONS { .boot: boot }\n");
        std::vector<std::string> args = {"-q", "-i", "-image", "-map", "app.map", "-mapjson", "app.json"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.insert(args.end(), {"r.cmd", "app"});
        RunResult r = run_khex(dir, args);
        const std::string map = dir.read("app.map");
        const size_t at = map.find("   CONTENTS:");
        ASSERT_NE(at, std::string::npos) << r.err;
        EXPECT_EQ(map.substr(at, map.find("\n\n", at) + 1 - at), c.contents);
        RunResult jq = run_program(dir, {"jq", "-c", ".ranges[0] | [(.contents[] | select(.kind == \"boot_table\") "
                                                     "| .start, .end), .fill_bytes]", "app.json"});
        EXPECT_EQ(jq.out, std::string(c.json_extent) + "\n");
    }
}

TEST(Map, NoSymbolTableNoHeader)
{
    TempDir dir;
    Coff c = small_program();
    c.symbols.clear();
    dir.write("app.out", c.build());
    auto r = run_khex(dir, {"-q", "-map", "app.map", "app"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(dir.read("app.map").substr(0, 25), "\n\nOUTPUT TRANSLATION MAP\n");
}

TEST(Map, ALaterMapOptionReplacesTheFileAndBadNamesAreWarnings)
{
    TempDir dir;
    dir.write("app.out", small_program().build());
    auto r = run_khex(dir, {"-q", "-map", "first.map", "-map", "no/such/dir/m.map", "-map", "second.map", "app"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, ">> WARNING: cannot open map file 'no/such/dir/m.map': No such file or directory\n");
    EXPECT_FALSE(dir.exists("first.map"));  // replaced before anything was written
    EXPECT_NE(dir.read("second.map").find("OUTPUT TRANSLATION MAP"), std::string::npos);
    r = run_khex(dir, {"-q", "app", "-map"});
    EXPECT_EQ(r.err, ">> WARNING: no name on -map (ignored)\n");
}

}  // namespace
