// Boot tables end to end: the exact bytes of each layout (Binary output shows
// them byte for byte), their messages, the boot buffer's pads and carries, and
// the map's boot lines.
#include <gtest/gtest.h>

#include "helpers.h"

using namespace khextest;
using coffgen::Bytes;
using coffgen::Coff;
using coffgen::Section;

namespace {

// .text: 8 bytes at 0x100; .data: 5 bytes at the odd address 0x201.
Coff boot_program()
{
    Coff c;
    c.entry_point = 0x100;
    c.sections = {
        {".text", 0x100, {0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17}, 0, coffgen::STYP_TEXT},
        {".data", 0x201, {0xD0, 0xD1, 0xD2, 0xD3, 0xD4}, 0, coffgen::STYP_DATA},
    };
    c.symbols = {{"_main", 0x104}, {"_clock", 0x55}};
    return c;
}

Bytes bytes(std::initializer_list<int> values)
{
    Bytes b;
    for (int v : values)
        b.push_back(static_cast<uint8_t>(v));
    return b;
}

// Converts to Binary with boot-loaded sections and returns the table's bytes
// (from app.b00, or app.b0 when a ROMS directive gives a sole range).
Bytes boot_binary(const TempDir& dir, const Coff& c, std::vector<std::string> options, RunResult* result = nullptr)
{
    dir.write("app.out", c.build());
    std::vector<std::string> args{"-q", "-b", "-boot"};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back("app");
    RunResult r = run_khex(dir, args);
    if (result)
        *result = r;
    else
        EXPECT_EQ(r.err, "");
    std::string text = dir.read_bytes(dir.exists("app.b00") ? "app.b00" : "app.b0");
    return Bytes(text.begin(), text.end());
}

TEST(BootTable, RevisionTwoHeaderRecordsPadsAndEndMarker)
{
    TempDir dir;
    EXPECT_EQ(boot_binary(dir, boot_program(), {}),
              bytes({0x00, 0x00, 0x00, 0x01,                          // entry point 0x100, MSB then LSB field
                     0x00, 0x00, 0x00, 0x00,                          // no register entries
                     0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 0x00, 0x01,  // .text: size 8 at 0x100
                     0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17,  //
                     0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0x01, 0x02,  // .data: size 5 at 0x201
                     0x20, 0xD0, 0xD1, 0xD2, 0xD3, 0xD4,              // a pre-section pad for the odd start
                     0x00, 0x00, 0x00, 0x00}));                       // end marker
}

TEST(BootTable, BigEndianTargetWritesFieldsMostSignificantByteFirst)
{
    TempDir dir;
    Coff c = boot_program();
    c.target_big_endian = true;
    c.sections.pop_back();
    EXPECT_EQ(boot_binary(dir, c, {}), bytes({0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00,  //
                                              0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x01, 0x00,  //
                                              0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17,  //
                                              0x00, 0x00, 0x00, 0x00}));
}

TEST(BootTable, RegisterEntriesInOptionOrderWithTheirMessages)
{
    TempDir dir;
    Coff c = boot_program();
    c.sections.pop_back();
    RunResult r;
    Bytes table = boot_binary(dir, c,
                              {"-delay", "100", "-reg_config", "0xFFF4,_clock,7", "--v6620_startdsp", "0x10000",
                               "-delay", "0x12345"},
                              &r);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              ">> WARNING: register address range 0xFFF0-0xFFFF is reserved\n"
              ">> WARNING: register address range 0xFFF0-0xFFFF is reserved\n"
              ">>   ERROR: config value 65536 is too large\n"
              ">>   ERROR: delay value 74565 is too large\n");
    EXPECT_EQ(Bytes(table.begin(), table.begin() + 28),
              bytes({0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x05, 0x00,  // five entries
                     0xFF, 0xFF, 0x64, 0x00,                          // delay 100
                     0xF4, 0xFF, 0x55, 0x00,                          // register 0xFFF4 = _clock
                     0xF5, 0xFF, 0x07, 0x00,                          // the next register = 7
                     0xFE, 0xFF, 0x00, 0x00,                          // start-DSP value, low 16 bits
                     0xFF, 0xFF, 0x45, 0x23}));                       // delay, low 16 bits
}

TEST(BootTable, LargeSectionRecordCarriesSizeAndAddressInTwoFields)
{
    TempDir dir;
    Coff c;
    c.entry_point = 0x20010;
    c.sections = {{".big", 0x20010, coffgen::pattern(0x12345), 0, coffgen::STYP_DATA}};
    dir.write("r.cmd", "ROMS { r: o = 0 l = 0x20000 }\n");
    Bytes table = boot_binary(dir, c, {"r.cmd"});
    ASSERT_GE(table.size(), 16u);
    EXPECT_EQ(Bytes(table.begin() + 8, table.begin() + 16),
              bytes({0x01, 0x00, 0x45, 0x23, 0x02, 0x00, 0x10, 0x00}));
    EXPECT_EQ(table.size(), 16u + 0x12345 + 1 + 4);  // one post-section pad, end marker
}

TEST(BootTable, RevisionOneHeaderOnlyWhenTheEntryPointDiffers)
{
    TempDir dir;
    // entry point = first section: the table starts with the section record;
    // sizes count 16-bit words, addresses are word addresses
    EXPECT_EQ(boot_binary(dir, boot_program(), {"-v7734:1"}),
              bytes({0x04, 0x00, 0x00, 0x00, 0x80, 0x00,                    // .text: 4 words at word 0x80
                     0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17,        //
                     0x03, 0x00, 0x00, 0x00, 0x00, 0x01,                    // .data: 5 bytes make 3 words
                     0xD0, 0xD1, 0xD2, 0xD3, 0xD4, 0x00,                    // padded to the words counted
                     0x00, 0x00}));                                         // end marker of one field
    Bytes table = boot_binary(dir, boot_program(), {"-v7734:1", "-e", "0x104"});
    EXPECT_EQ(Bytes(table.begin(), table.begin() + 8), bytes({0x01, 0x00, 0x00, 0x00, 0x82, 0x00, 0x00, 0x00}));
}

TEST(BootTable, RevisionOneWren32HeaderAlignmentAndEndMarker)
{
    TempDir dir;
    Coff c = boot_program();
    c.sections.pop_back();
    c.sections[0].data.resize(3);
    dir.write("app.out", c.build());
    auto r = run_khex(dir, {"-q", "--d", "-boot", "-v7734:1", "-wren32", "-e", "0x40", "app"});
    EXPECT_EQ(r.status, 0) << r.err;
    // 32-bit ROMs over 16-bit memory: each field is an operation of its own,
    // the section's bytes (padded to the alignment of 4) one of four bytes;
    // -order LS turns each 16-bit word around
    EXPECT_EQ(dir.read("app.d00"), debug_file("ADDR:00000000: DATA:0002 0000 0020 0000 0000 0002 0000 0080 11100012 "
                                              ":END:\nADDR:00000014: DATA:0000 0000 :END:\n"));
}

TEST(BootTable, BootstrapFormsATableOfItsOwn)
{
    TempDir dir;
    EXPECT_EQ(boot_binary(dir, boot_program(), {"-bootstrap=.data"}),
              bytes({0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0x01, 0x02, 0x20, 0xD0, 0xD1, 0xD2, 0xD3, 0xD4,  //
                     0x00, 0x00, 0x00, 0x00,                                                            // its end
                     0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00,                                    // header
                     0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 0x00, 0x01,                                    //
                     0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17,                                    //
                     0x00, 0x00, 0x00, 0x00}));
}

TEST(BootTable, RevisionOneChecksReportErrorsAndTheTableIsStillWritten)
{
    TempDir dir;
    Coff c = boot_program();
    c.sections[0].vaddr = 0x101;
    c.sections[0].data = coffgen::pattern(0x20000);
    c.entry_point = 0x100;
    dir.write("r.cmd", "ROMS { r: o = 0 l = 0x30000 }\n");
    RunResult r;
    Bytes table = boot_binary(dir, c, {"-v7734:1", "r.cmd"}, &r);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              ">>   ERROR: Starting address of section .text is not aligned to an even byte\n"
              "            boundary as required for a boot loader of the requested type\n"
              ">>   ERROR: section .text exceeds 64k boot table limit\n");
    EXPECT_EQ(Bytes(table.begin(), table.begin() + 6), bytes({0x01, 0x00, 0x00, 0x00, 0x80, 0x00}));
}

TEST(BootTable, OnlyForTheK7734)
{
    TempDir dir;
    Coff c = boot_program();
    c.device_code = 2;
    dir.write("app.out", c.build());
    auto r = run_khex(dir, {"-q", "-b", "-boot", "app"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, ">> FATAL ERROR: boot table not supported on K7734 Phase 2 device (aborting)\n");
}

TEST(BootTable, MemoryWiderThan16BitsIsRefused)
{
    TempDir dir;
    dir.write("app.out", boot_program().build());
    auto r = run_khex(dir, {"-q", "-boot", "-memwidth", "32", "app"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              ">> WARNING: memwidth(32) is greater than target width(16)\n"
              ">>   ERROR: boot table needs a memory width of at most 16 bits, but *DEFAULT*\n"
              "            has a memory width of 32 bits\n"
              ">> FATAL ERROR: errors prevent conversion (aborting)\n");
    EXPECT_EQ(dir.files(), std::vector<std::string>{"app.out"});
}

TEST(BootBuffer, SectionPadsOfRevisionTwoAndWordPadsOfRevisionOne)
{
    TempDir dir;
    Coff c;
    c.entry_point = 0x100;
    c.sections = {{".a", 0x100, {1, 2, 3, 4, 5}, 0, coffgen::STYP_DATA},
                  {".b", 0x201, {6, 7, 8, 9}, 0, coffgen::STYP_DATA}};
    Bytes table = boot_binary(dir, c, {});
    EXPECT_EQ(Bytes(table.begin() + 8, table.end()),
              bytes({0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0x00, 0x01, 1, 2, 3, 4, 5, 0x20,  // an odd size: post-pad
                     0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x01, 0x02, 0x20, 6, 7, 8, 9, 0x20,  // odd start: both
                     0x00, 0x00, 0x00, 0x00}));
    // revision 1 has no 0x20 pads; 16-bit memory rounds to whole words with 0x00
    c.sections.pop_back();
    dir.write("app.out", c.build());
    auto r = run_khex(dir, {"-q", "--d", "-boot", "-v7734:1", "-romwidth", "16", "app"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.read("app.d00"), debug_file("ADDR:00000000: DATA:0003 0000 0080 0201 0403 0005 0000 :END:\n"));
}

TEST(BootBuffer, OddStartCarriesTheLastByteOfEachPiece)
{
    TempDir dir;
    Coff c;
    c.entry_point = 0x1001;
    Bytes data = coffgen::pattern(24577, 1);
    c.sections = {{".big", 0x1001, data, 0, coffgen::STYP_DATA}};
    dir.write("app.out", c.build());
    dir.write("r.cmd", "ROMS { r: o = 0 l = 0x10000 }\n");
    auto r = run_khex(dir, {"-q", "-b", "-boot", "--v", "r.cmd", "app"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Adding Pre-section padding\n"), std::string::npos);
    // the piece and its pad do not fit the first 24576 bytes: the buffer grows once
    EXPECT_NE(r.out.find("Length of Data         : 24576\nLength of Buffer       : 27033\n"), std::string::npos);
    EXPECT_NE(r.out.find("Overflow Buffer Length : 1\n"), std::string::npos);
    EXPECT_NE(r.out.find("Adding Post-section padding\n"), std::string::npos);
    std::string table = dir.read_bytes("app.b0");
    Bytes expected{0x20};
    expected.insert(expected.end(), data.begin(), data.end());
    expected.push_back(0x20);
    EXPECT_EQ(Bytes(table.begin() + 16, table.end() - 4), expected);
}

TEST(BootBuffer, RamModelCinitRecordsAreSectionsOfTheirOwn)
{
    TempDir dir;
    Coff c = boot_program();
    c.sections.pop_back();
    Bytes records = coffgen::cinit_record(0x301, {0xC0, 0xC1}, false);
    Bytes second = coffgen::cinit_record(0x400, {0xC2, 0xC3, 0xC4, 0xC5}, false);
    records.insert(records.end(), second.begin(), second.end());
    records.insert(records.end(), {0, 0});
    c.sections.push_back({".cinit", 0x280, records, 0, coffgen::STYP_COPY});
    c.sections.push_back({".bss", 0x300, {}, 0x200, coffgen::STYP_DATA});
    Bytes table = boot_binary(dir, c, {});
    EXPECT_EQ(Bytes(table.begin() + 24, table.end()),
              bytes({0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x01, 0x03,  // first record: 2 bytes at 0x301
                     0x20, 0xC0, 0xC1, 0x20,                          // padded as a section of its own
                     0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x00, 0x04,  // second record: 4 bytes at 0x400
                     0xC2, 0xC3, 0xC4, 0xC5,                          //
                     0x00, 0x00, 0x00, 0x00}));
}

TEST(BootMap, ParametersTableLinesAndContinuation)
{
    TempDir dir;
    dir.write("app.out", boot_program().build());
    dir.write("r.cmd", "ROMS { a: o = 0 l = 0x10  b: o = 0x10 l = 0x40 }\n");
    auto r = run_khex(dir, {"-q", "-boot", "-e", "_main", "-map", "m.map", "r.cmd", "app"});
    EXPECT_EQ(r.status, 0) << r.err;
    std::string map = dir.read("m.map");
    EXPECT_NE(map.find("\nBOOT LOADER PARAMETERS\n"
                       "   Table Address:\t  0x00000000, PAGE 0\n"
                       "   Entry Point:\t\t  0x00000104  (_main)\n"),
              std::string::npos)
        << map;
    // each entry shows the table as far as it was written when its range closed
    EXPECT_NE(map.find("   CONTENTS: 00000000..0000000d   BOOT TABLE\n"
                       "                            .text : dest=00000100  size=00000008  width=00000001x\n"),
              std::string::npos)
        << map;
    EXPECT_NE(map.find("   CONTENTS: 00000000..00000029   BOOT TABLE\n"
                       "                            .text : (continued)\n"
                       "                            .data : dest=00000201  size=00000005  width=00000001x\n"),
              std::string::npos)
        << map;

    r = run_khex(dir, {"-q", "-boot", "-kite16", "-map", "m.map", "app"});
    EXPECT_NE(dir.read("m.map").find("   Table Type:\t\t  SERIAL PORT (Kite 16 bit Mode)\n"
                                     "   Entry Point:\t\t  0x00000100\n"),
              std::string::npos);
}

TEST(BootMap, TableOutsideTheRangesIsReported)
{
    TempDir dir;
    dir.write("app.out", boot_program().build());
    dir.write("r.cmd", "ROMS { a: o = 0x1000 l = 0x100 }\n");
    auto r = run_khex(dir, {"-q", "-boot", "-bootorg", "0x2000", "r.cmd", "app"});
    EXPECT_EQ(r.status, 0);
    // once for each boot section whose part of the table is lost
    EXPECT_EQ(r.err,
              ">> WARNING: boot table falls in unconfigured memory at 02000h\n"
              ">> WARNING: boot table falls in unconfigured memory at 02000h\n");
}

// A table that falls below every range of its page ends where it began: its
// end marker is not written into another page as the data of the section
// that ends the table.
TEST(BootMap, AnEndMarkerOfALostTableStaysOnItsPage)
{
    TempDir dir;
    Coff c;
    c.sections = {{".boot", 0x1000, {1, 2, 3, 4}, 0, coffgen::STYP_TEXT},
                  {".page1", 0x80, {0xA1, 0xA2, 0xA3, 0xA4}, 0, coffgen::STYP_DATA, 1}};
    dir.write("app.out", c.build());
    dir.write("r.cmd", "ROMS { PAGE 0: a: o = 0xc0 l = 0x40  PAGE 1: b: o = 0 l = 0x100 files = { lo, hi } }\n"
                       "SECTIONS { .boot: boot .page1 }\n");
    auto r = run_khex(dir, {"-q", "-i", "-bootorg", "0x50", "r.cmd", "app"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, ">> WARNING: boot table falls in unconfigured memory at 050h\n");
    EXPECT_EQ(dir.read("lo"), ":02008000A1A33A\n:00000001FF\n");
}

}  // namespace
