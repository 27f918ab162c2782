// Placing data into ROM ranges end to end: pages, gaps, overflow into the next
// range, unplaced data, padding, image fill, byte order and lanes.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "helpers.h"

using namespace khextest;
using coffgen::Bytes;
using coffgen::Coff;
using coffgen::Section;

namespace {

Coff program(std::vector<Section> sections, bool big_endian = false)
{
    Coff c;
    c.target_big_endian = big_endian;
    c.sections = std::move(sections);
    return c;
}

Section text(uint32_t address, size_t size, uint16_t page = 0, const char* name = ".text")
{
    Section s{name, address, coffgen::pattern(size, static_cast<uint8_t>(address)), 0, coffgen::STYP_TEXT};
    s.page = page;
    return s;
}

RunResult convert(const TempDir& dir, const Coff& c, const std::string& command_file,
                  std::vector<std::string> options)
{
    dir.write("app.out", c.build());
    std::vector<std::string> args = std::move(options);
    if (!command_file.empty()) {
        dir.write("c.cmd", command_file);
        args.push_back("c.cmd");
    }
    args.push_back("app");
    return run_khex(dir, args);
}

const std::vector<std::string> ONE_LANE_DEBUG = {"-q", "--d", "-memwidth", "8"};

TEST(Placement, PagesGoToTheirDefaultRanges)
{
    TempDir dir;
    auto r = convert(dir, program({text(0x100, 10), text(0x200, 2, 1, ".data")}), "", {"--d", "-memwidth", "8"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              "Translating app.out to DEBUG format...\n"
              "   \"app.out\"   ==> .text\n"
              "   \"app.out\"   ==> .data\n");
    EXPECT_EQ(dir.read("app.d00"), debug_file("ADDR:00000100: DATA:00 01 02 03 04 05 06 07 08 09 :END:\n"));
    EXPECT_EQ(dir.read("app.d10"), debug_file("ADDR:00000200: DATA:00 01 :END:\n"));
}

const char* TWO_RANGES_WITH_GAP = "ROMS { lo: o = 0x0000 l = 0x100  hi: o = 0x200 l = 0x100 }\n";
const char* TWO_ADJACENT_RANGES = "ROMS { lo: o = 0x0000 l = 0x100  hi: o = 0x100 l = 0x100 }\n";

TEST(Placement, DataInAGapBetweenRangesIsDroppedOnce)
{
    TempDir dir;
    auto r = convert(dir, program({text(0, 0x180)}), TWO_RANGES_WITH_GAP, ONE_LANE_DEBUG);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err,
              ">> WARNING: section '.text' overlaps unconfigured memory at 0100h (.text\n"
              "            incomplete)\n");
    EXPECT_TRUE(dir.exists("app.d00"));
    EXPECT_FALSE(dir.exists("app.d10"));
}

TEST(Placement, ASectionContinuesInTheNextAdjacentRange)
{
    TempDir dir;
    auto r = convert(dir, program({text(0x50, 0x100)}), TWO_ADJACENT_RANGES, ONE_LANE_DEBUG);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    std::string hi = dir.read("app.d10");
    EXPECT_EQ(hi.substr(20, 26), "ADDR:00000100: DATA:00 01 ");  // byte 0xB0 of the section
}

TEST(Placement, SectionInTheGapIsSkippedOrContinuesInTheNextRange)
{
    TempDir dir;
    auto r = convert(dir, program({text(0x150, 0x20)}), TWO_RANGES_WITH_GAP, {"--d", "-memwidth", "8"});
    EXPECT_EQ(r.err, ">> WARNING: section '.text' at 0150h falls in unconfigured memory (skipped)\n");
    EXPECT_FALSE(dir.exists("app.d00"));
    EXPECT_FALSE(dir.exists("app.d10"));

    r = convert(dir, program({text(0x150, 0x100)}), TWO_RANGES_WITH_GAP, ONE_LANE_DEBUG);
    EXPECT_EQ(r.err,
              ">> WARNING: section '.text' overlaps unconfigured memory at 0150h (.text\n"
              "            incomplete)\n");
    EXPECT_EQ(dir.read("app.d10").substr(20, 23), "ADDR:00000200: DATA:00 ");  // byte 0xB0 of the section
}

TEST(Placement, OverlappingSectionsKeepOnlyTheBytesBeyond)
{
    TempDir dir;
    auto r = convert(dir, program({text(0x100, 8), text(0x104, 8, 0, ".data")}), "", ONE_LANE_DEBUG);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err,
              ">> WARNING: section '.data' at 0104h overlaps .text (.data incomplete or\n"
              "            skipped)\n");
    EXPECT_EQ(dir.read("app.d00"), debug_file("ADDR:00000100: DATA:00 01 02 03 04 05 06 07 :END:\n"
                                              "ADDR:00000108: DATA:08 09 0A 0B :END:\n"));
}

TEST(Placement, OddPieceIsPaddedWithTheFillPattern)
{
    TempDir dir;
    auto r = convert(dir, program({text(0x100, 5)}, true), "", {"-q", "--d", "-fill", "0xABCD", "-order", "MS"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err,
              ">> WARNING: section '.text' was padded by 1 bytes to a size of 6 to satisfy the\n"
              "            specified memory width of 2\n");
    // -order MS: the first file carries the last lane, where the pad byte falls
    EXPECT_EQ(dir.read("app.d00"), debug_file("ADDR:00000100: DATA:01 03 CD :END:\n"));
    EXPECT_EQ(dir.read("app.d01"), debug_file("ADDR:00000100: DATA:00 02 04 :END:\n"));
}

TEST(ImageMode, FillAroundASectionWithWholeWords)
{
    TempDir dir;
    auto r = convert(dir, program({text(4, 4)}), "ROMS { r: o = 0 l = 0x10 }\n",
                     {"-q", "--d", "-image", "-romwidth", "16", "-fill", "0x1234"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(dir.read("app.d0"),
              debug_file("ADDR:00000000: DATA:1234 1234 0504 0706 1234 1234 1234 1234 :END:\n"));
}

TEST(ImageMode, RangesWithoutDataGetFilesOfFillAndZeroNumbersFromTheOrigin)
{
    TempDir dir;
    auto r = convert(dir, program({text(0x100, 2)}),
                     "ROMS { a: o = 0x100 l = 4  b: o = 0x200 l = 4 fill = 0xEEFF }\n",
                     {"-q", "--d", "-memwidth", "8", "-image", "-zero"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(dir.read("app.d00"), debug_file("ADDR:00000000: DATA:00 01 00 00 :END:\n"));
    // one-byte words take the two fill bytes in turn
    EXPECT_EQ(dir.read("app.d10"), debug_file("ADDR:00000000: DATA:FF EE FF EE :END:\n"));
}

// The fill value 0x1C9F on a little-endian target: one-byte memory words take
// its two bytes in turn whatever the ROM width; a 16-bit word is the whole
// value, written most significant byte first by the default -order LS.
TEST(ImageMode, FilledImageForEachRomWidth)
{
    struct Case {
        int romwidth, memwidth;
        std::vector<uint8_t> image;
    };
    const Case cases[] = {
        {8, 8, {0x9F, 0x1C, 0x9F, 0x1C, 0xAA, 0xBB, 0x9F, 0x1C}},
        {16, 8, {0x9F, 0x1C, 0x9F, 0x1C, 0xAA, 0xBB, 0x9F, 0x1C}},
        {32, 8, {0x9F, 0x1C, 0x9F, 0x1C, 0xAA, 0xBB, 0x9F, 0x1C}},
        {64, 8, {0x9F, 0x1C, 0x9F, 0x1C, 0xAA, 0xBB, 0x9F, 0x1C}},
        {16, 16, {0x1C, 0x9F, 0x1C, 0x9F, 0xBB, 0xAA, 0x1C, 0x9F}},
        {32, 16, {0x1C, 0x9F, 0x1C, 0x9F, 0xBB, 0xAA, 0x1C, 0x9F}},
    };
    Section data{".text", 4, {0xAA, 0xBB}, 0, coffgen::STYP_TEXT};
    for (const Case& c : cases) {
        TempDir dir;
        std::string roms = "ROMS { R: origin = 0, length = 8, romwidth = " + std::to_string(c.romwidth) +
                           ", memwidth = " + std::to_string(c.memwidth) + ", fill = 0x1C9F }\n";
        auto r = convert(dir, program({data}), roms, {"-q", "-image", "-i"});
        EXPECT_EQ(r.status, 0) << r.err;
        std::string image = objcopy_decode(dir, "app.i0", "ihex");
        EXPECT_EQ(std::vector<uint8_t>(image.begin(), image.end()), c.image)
            << "romwidth " << c.romwidth << ", memwidth " << c.memwidth;
    }
}

TEST(ImageMode, MissingBoundsAndMissingRomsAreErrors)
{
    TempDir dir;
    auto r = convert(dir, program({text(0, 2)}), "ROMS { r: w = 8 }\n", {"-q", "-image"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "\"c.cmd\", line 1:   ERROR: origin missing on r (required for -image)\n"
              "\"c.cmd\", line 1:   ERROR: length missing on r (required for -image)\n"
              ">> FATAL ERROR: errors prevent conversion (aborting)\n");
    // -image after the command file is checked as well
    r = convert(dir, program({text(0, 2)}), "ROMS { r: w = 8 }\n", {"-q"});
    r = run_khex(dir, {"-q", "c.cmd", "-image", "app"});
    EXPECT_EQ(r.err,
              ">>   ERROR: origin missing on r (required for -image)\n"
              ">>   ERROR: length missing on r (required for -image)\n"
              ">> FATAL ERROR: errors prevent conversion (aborting)\n");
    r = run_khex(dir, {"-q", "-image", "app"});
    EXPECT_EQ(r.err,
              ">>   ERROR: -image requires ROMS directive\n"
              ">> FATAL ERROR: errors prevent conversion (aborting)\n");
    r = run_khex(dir, {"-q", "-zero", "-memwidth", "8", "app"});
    EXPECT_EQ(r.err, ">> WARNING: -zero requires -image: ignored\n");
    EXPECT_EQ(r.status, 0);
}

TEST(NonImageMode, GapsStartNewRecordsAndEmptyRangesMakeNoFiles)
{
    TempDir dir;
    auto r = convert(dir, program({text(0x10, 2), text(0x20, 2, 0, ".data")}),
                     "ROMS { a: o = 0 l = 0x100  b: o = 0x100 l = 0x100 }\n", ONE_LANE_DEBUG);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(dir.read("app.d00"), debug_file("ADDR:00000010: DATA:10 11 :END:\nADDR:00000020: DATA:20 21 :END:\n"));
    EXPECT_FALSE(dir.exists("app.d10"));
}

TEST(ByteOrder, DataWidthAndOrderOnABigEndianTarget)
{
    TempDir dir;
    auto r = convert(dir, program({text(0, 8)}, true), "", {"-q", "--d", "-memwidth", "8", "-datawidth", "32",
                                                           "-order", "LS"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(dir.read("app.d00"), debug_file("ADDR:00000000: DATA:03 02 01 00 07 06 05 04 :END:\n"));
    // the file's own order by default: nothing moves
    r = convert(dir, program({text(0, 8)}, true), "", {"-q", "--d", "-memwidth", "8", "-datawidth", "32"});
    EXPECT_EQ(dir.read("app.d00"), debug_file("ADDR:00000000: DATA:00 01 02 03 04 05 06 07 :END:\n"));
}

TEST(ByteOrder, SectionDataWidthAndRomWordOrder)
{
    TempDir dir;
    auto r = convert(dir, program({text(0, 4)}), "SECTIONS { .text: datawidth = 16 }\n",
                     {"-q", "--d", "-romwidth", "16", "-order", "MS"});
    EXPECT_EQ(r.status, 0);
    // little-endian target written MS first: each 16-bit unit turns around
    EXPECT_EQ(dir.read("app.d00"), debug_file("ADDR:00000000: DATA:0100 0302 :END:\n"));
}

TEST(Lanes, OrderMsSendsTheFirstFileTheLastLane)
{
    TempDir dir;
    auto r = convert(dir, program({text(0, 4)}), "", {"-q", "--d", "-order", "MS", "-o", "first", "-o", "second"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(dir.read("first"), debug_file("ADDR:00000000: DATA:01 03 :END:\n"));
    EXPECT_EQ(dir.read("second"), debug_file("ADDR:00000000: DATA:00 02 :END:\n"));
}

TEST(WriteErrors, OutputAndMapWriteFailuresEndTheRun)
{
    SKIP_FOR_WINDOWS_PROGRAM("/dev/full is a Linux device");
    TempDir dir;
    auto r = convert(dir, program({text(0, 4)}), "", {"-q", "-i", "-memwidth", "8", "-o", "/dev/full"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              ">> FATAL ERROR: error writing output file '/dev/full': No space left on device\n"
              "                (aborting)\n");
    r = convert(dir, program({text(0, 4)}), "", {"-q", "-i", "-memwidth", "8", "-map", "/dev/full"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              ">> FATAL ERROR: error writing map file '/dev/full': No space left on device\n"
              "                (aborting)\n");
}

TEST(Widths, RefusedBeforeConversion)
{
    TempDir dir;
    auto r = convert(dir, program({text(0, 4)}), "", {"-q", "-memwidth", "128", "-romwidth", "8"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              ">> WARNING: memwidth(128) is greater than target width(16)\n"
              ">>   ERROR: *DEFAULT* needs 16 output files for a memory width of 128 bits and a\n"
              "            ROM width of 8 bits (at most 8)\n"
              ">>   ERROR: *DEFAULT PAGE 1* needs 16 output files for a memory width of 128\n"
              "            bits and a ROM width of 8 bits (at most 8)\n"
              ">> FATAL ERROR: errors prevent conversion (aborting)\n");
    r = convert(dir, program({text(0, 4)}), "ROMS { r: w = 2048 }\n", {"-q"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              ">>   ERROR: ROM width of 2048 bits of r is too wide for Extended Tektronix\n"
              "            records (at most 712 bits)\n"
              ">> FATAL ERROR: errors prevent conversion (aborting)\n");
    r = convert(dir, program({text(0, 4)}), "", {"-q", "-memwidth", "40"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("ERROR: widths of *DEFAULT* (memory 40 bits, ROM 8 bits) do not divide the\n"
                         "            24576-byte load buffer\n"),
              std::string::npos)
        << r.err;
    r = convert(dir, program({text(0, 4)}), "", {"-q", "-memwidth", "24", "-romwidth", "16"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(">> FATAL ERROR: memwidth(24) not a factor of romwidth(16) (aborting)\n"), std::string::npos);
}

// The memory-word warning speaks only of a length the user wrote and khex
// accepted, and only once the widths passed their checks.
TEST(Widths, OnlyAWrittenLengthThatSplitsAMemoryWordIsWarnedAbout)
{
    struct Case {
        const char* what;
        std::string command_file;
        std::vector<std::string> options;
        int status;
        std::string err;
    };
    const Case cases[] = {
        {"a written odd length", "ROMS { R: o = 0 l = 7 }\n", {"-q", "--d"}, 0,
         ">> WARNING: range 'R' length 0x7 is not a whole number of 16-bit memory words\n"},
        {"the default ranges on 24-bit memory", "", {"-q", "--d", "-memwidth", "24", "-romwidth", "8"}, 0,
         ">> WARNING: memwidth(24) is greater than target width(16)\n"},
        {"a refused length", "ROMS { R1: o = 0 l = 0x100  R2: o = 0x100 l = 0xffffff01 }\n", {"-q", "--d"}, 1,
         "\"c.cmd\", line 1:   ERROR: invalid length on R2\n>> FATAL ERROR: errors prevent conversion (aborting)\n"},
        {"widths that are not multiples of each other", "ROMS { R: o = 0 l = 0x10 }\n",
         {"-q", "--d", "-memwidth", "24", "-romwidth", "16"}, 1,
         ">> WARNING: memwidth(24) is greater than target width(16)\n"
         ">> FATAL ERROR: memwidth(24) not a factor of romwidth(16) (aborting)\n"},
        {"a ROM width the format refuses", "ROMS { R: o = 0 l = 3 w = 2048 }\n", {"-q"}, 1,
         ">>   ERROR: ROM width of 2048 bits of R is too wide for Extended Tektronix\n"
         "            records (at most 712 bits)\n"
         ">> FATAL ERROR: errors prevent conversion (aborting)\n"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        auto r = convert(dir, program({text(0, 6)}), c.command_file, c.options);
        EXPECT_EQ(r.status, c.status) << c.what;
        EXPECT_EQ(r.err, c.err) << c.what;
    }
}

TEST(Widths, ARangeWhoseLengthSplitsAMemoryWordGetsTheWholeWord)
{
    TempDir dir;
    auto r = convert(dir, program({text(0, 4)}), "ROMS { R: o = 0 l = 3 }\n", {"-q", "--d"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(dir.read("app.d0"), debug_file("ADDR:00000000: DATA:00 02 :END:\n"));
    EXPECT_EQ(dir.read("app.d1"), debug_file("ADDR:00000000: DATA:01 03 :END:\n"));
}

TEST(Names, DefaultAndGivenOutputNames)
{
    TempDir dir;
    auto r = convert(dir, program({text(0, 2), text(0x10, 2, 1, ".data")}), "", {"-q", "-i", "-o", "a.hex"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(dir.files(), (std::vector<std::string>{"a.hex", "app.i01", "app.i10", "app.i11", "app.out"}));

    TempDir sole;
    r = convert(sole, program({text(0, 2)}), "ROMS { r: o = 0 }\n", {"-q", "-a"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(sole.files(), (std::vector<std::string>{"app.a0", "app.a1", "app.out", "c.cmd"}));

    // a long name is used whole, never cut to another file's name
    std::string deep = "d/" + std::string(250, 'n') + "/" + std::string(250, 'm') + ".hex";
    mkdir((sole.path() + "/d").c_str(), 0700);
    mkdir((sole.path() + "/d/" + std::string(250, 'n')).c_str(), 0700);
    r = convert(sole, program({text(0, 2)}), "", {"-q", "-i", "-memwidth", "8", "-o", deep});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(sole.exists(deep));

    TempDir files;
    r = convert(files, program({text(0, 2)}), "ROMS { r: o = 0 files = { x y z } }\n", {"-q"});
    EXPECT_EQ(r.err, ">> WARNING: too many output files for r (3 given, 2 used)\n");
}

}  // namespace
