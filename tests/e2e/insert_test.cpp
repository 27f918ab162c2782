// Other images in the ROM (-insert): the lane files, put back together, hold
// what SRecord makes of khex's image without the insert and the inserted
// bytes merged into it; files of every format, written by objcopy and
// SRecord; every refusal before any file is written.
#include <gtest/gtest.h>

#include "helpers.h"

using namespace khextest;
using coffgen::Bytes;
using coffgen::Coff;
using coffgen::Section;

namespace {

const char ROMS[] = "ROMS { CODE: origin = 0, length = 0x400, romwidth = 8, memwidth = 16\n"
                    "              files = { lo.hex, hi.hex } }\n";

Coff program(bool big_endian = false)
{
    Coff c;
    c.target_big_endian = big_endian;
    c.sections = {{".text", 0x100, coffgen::pattern(0x60, 0x10), 0, coffgen::STYP_TEXT},
                  {".data", 0x200, coffgen::pattern(0x40, 0x80), 0, coffgen::STYP_DATA}};
    c.symbols = {{"_boot", 0x300, -1}};
    return c;
}

// The range as the target reads it, from the two lanes' device images.
Bytes image_of(const TempDir& dir, bool order_ms)
{
    const std::string lo = objcopy_decode(dir, order_ms ? "hi.hex" : "lo.hex", "ihex");
    const std::string hi = objcopy_decode(dir, order_ms ? "lo.hex" : "hi.hex", "ihex");
    Bytes image;
    for (size_t k = 0; k < std::min(lo.size(), hi.size()); ++k) {
        image.push_back(static_cast<uint8_t>(lo[k]));
        image.push_back(static_cast<uint8_t>(hi[k]));
    }
    return image;
}

RunResult convert(const TempDir& dir, const Coff& c, std::vector<std::string> options)
{
    dir.write("app.out", c.build());
    dir.write("r.cmd", ROMS);
    options.insert(options.begin(), {"-q", "-i", "-image", "-romaddr", "-fill", "0xFFFF"});
    options.insert(options.end(), {"r.cmd", "app.out"});
    return run_khex(dir, options);
}

// The bytes each case inserts, and the file a tool makes of them at 0x1020.
const Bytes BLOB = coffgen::pattern(0x80, 0x41);

struct Case {
    const char* what;
    std::vector<std::string> make;  // makes blob.x from blob.bin; empty: blob.bin itself
    std::string insert;             // the -insert value
    uint32_t at, first, last;       // where the kept bytes go: blob[first..last] at `at`
};

// khex's image with the insert equals SRecord's merge of the kept bytes
// into khex's image without it.
TEST(Inserts, TheImageIsSRecordsMergeOfTheInsertIntoTheImageWithoutIt)
{
    const Case cases[] = {
        {"Intel by SRecord, offset down", {"srec_cat", "blob.bin", "-binary", "-offset", "0x1020", "-o", "blob.x", "-intel"},
         "CODE,blob.x,offset=-0x1000", 0x20, 0, 0x7F},
        {"Motorola by objcopy", {"objcopy", "-I", "binary", "-O", "srec", "--change-addresses", "0x1020", "blob.bin",
                                 "blob.x"},
         "CODE,blob.x,format=motorola,offset=-0x1000", 0x20, 0, 0x7F},
        {"Extended Tektronix by SRecord, a window", {"srec_cat", "blob.bin", "-binary", "-offset", "0x1020", "-o",
                                                      "blob.x", "-tektronix-extended"},
         "CODE,blob.x,offset=-0x1000,from=0x30,to=0x5f", 0x30, 0x10, 0x3F},
        {"Extended Tektronix by objcopy, with its symbol blocks",
         {"objcopy", "-I", "binary", "-O", "tekhex", "--change-addresses", "0x1020", "blob.bin", "blob.x"},
         "CODE,blob.x,offset=-0x1000", 0x20, 0, 0x7F},
        {"a window over bytes the offset moves below 0", {"srec_cat", "blob.bin", "-binary", "-o", "blob.x", "-intel"},
         "CODE,blob.x,offset=-0x10,from=0x20,to=0x3f", 0x20, 0x30, 0x4F},
        {"binary at a symbol", {}, "CODE,blob.bin,at=_boot", 0x300, 0, 0x7F},
        {"records out of order", {"sh", "-c", "srec_cat blob.bin -binary -offset 0x20 -o t.hex -intel && (head -n -1 t.hex | tac; tail -n 1 t.hex) > blob.x"},
         "CODE,blob.x", 0x20, 0, 0x7F},
    };
    TempDir base_dir;
    ASSERT_EQ(convert(base_dir, program(), {}).status, 0);
    base_dir.write("base.bin", image_of(base_dir, false));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        dir.write("blob.bin", BLOB);
        if (!c.make.empty()) {
            ASSERT_EQ(run_program(dir, c.make).status, 0);
        }
        RunResult r = convert(dir, program(), {"-insert", c.insert});
        ASSERT_EQ(r.status, 0) << r.err;
        // SRecord's merge: the kept bytes over the image without the insert
        dir.write("kept.bin", Bytes(BLOB.begin() + c.first, BLOB.begin() + c.last + 1));
        RunResult merge = run_program(dir, {"srec_cat", base_dir.file("base.bin"), "-binary", "-exclude",
                                            std::to_string(c.at), std::to_string(c.at + c.last - c.first + 1),
                                            "kept.bin", "-binary", "-offset", std::to_string(c.at), "-o", "ref.bin",
                                            "-binary"});
        ASSERT_EQ(merge.status, 0) << merge.err;
        const std::string ref = dir.read_bytes("ref.bin");
        const Bytes image = image_of(dir, false);
        EXPECT_EQ(std::string(image.begin(), image.end()), ref);
    }
}

// An insert is data like a section's: on two lanes under -order MS its lane
// files equal those of the same bytes given as a section; a CRC covers it;
// the map, the JSON report and the dependency file name it.
TEST(Inserts, AnInsertIsPlacedAsTheSameBytesAsASectionWouldBe)
{
    TempDir as_section;
    Coff with_section = program(true);
    with_section.sections.push_back({".blob", 0x20, BLOB, 0, coffgen::STYP_DATA});
    ASSERT_EQ(convert(as_section, with_section, {"-order", "MS", "-checksum", "CODE,crc32"}).status, 0);

    TempDir as_insert;
    as_insert.write("blob.bin", BLOB);
    RunResult r = convert(as_insert, program(true),
                          {"-order", "MS", "-checksum", "CODE,crc32", "-insert", "CODE,blob.bin,at=0x20", "-map",
                           "r.map", "-mapjson", "r.json", "-depfile", "r.d"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(as_insert.read("lo.hex"), as_section.read("lo.hex"));
    EXPECT_EQ(as_insert.read("hi.hex"), as_section.read("hi.hex"));
    EXPECT_NE(as_insert.read("r.map").find("             00000020..0000009f   INSERT blob.bin\n"), std::string::npos);
    RunResult jq = run_program(as_insert, {"jq", "-c", "[.ranges[0].contents[] | select(.kind == \"insert\")]",
                                           "r.json"});
    EXPECT_EQ(jq.out, "[{\"kind\":\"insert\",\"name\":\"blob.bin\",\"start\":32,\"end\":159,\"size\":128,"
                      "\"incomplete\":false}]\n");
    EXPECT_NE(as_insert.read("r.d").find(" \\\n  blob.bin\n"), std::string::npos) << as_insert.read("r.d");
}

// A RAM-model .cinit's records are loaded after every section; an insert
// above the boot table waits for them, so the table stays whole and the
// image below the insert is the one without it.
TEST(Inserts, AnInsertAboveABootTableFollowsItsCinitRecords)
{
    TempDir plain, inserted;
    ASSERT_EQ(convert(plain, coffgen::demo_program(), {"-boot", "-e", "_c_int00"}).status, 0);
    inserted.write("blob.bin", BLOB);
    RunResult r = convert(inserted, coffgen::demo_program(),
                          {"-boot", "-e", "_c_int00", "-insert", "CODE,blob.bin,at=0x300", "-map", "r.map"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(inserted.read("r.map").find("INCOMPLETE"), std::string::npos) << inserted.read("r.map");
    Bytes expected = image_of(plain, false);
    ASSERT_EQ(expected.size(), 0x400u);
    std::copy(BLOB.begin(), BLOB.end(), expected.begin() + 0x300);
    EXPECT_EQ(image_of(inserted, false), expected);
}

// Every refusal names the file and what is wrong, and no file is written.
TEST(Inserts, BadInsertsStopBeforeAnyFileIsWritten)
{
    struct Case {
        std::vector<std::string> options;
        std::string err;
        std::string file = "";  // the inserted file's text, as blob.x
    };
    const std::string stop = ">> FATAL ERROR: errors prevent conversion (aborting)\n";
    const Case cases[] = {
        {{"-insert", "ROM,blob.bin,at=0"}, "insert 'ROM,blob.bin,at=0': no range named 'ROM' (ranges: CODE)"},
        {{"-insert", "CODE,none.hex"}, "none.hex: cannot open it: No such file or directory"},
        {{"-insert", "CODE,blob.x"}, "blob.x:2: wrong checksum", ":01002000419E\n:0100210042BE\n"},
        {{"-insert", "CODE,blob.bin"}, "insert 'CODE,blob.bin': a binary file needs at=, the address of its first byte"},
        {{"-insert", "CODE,blob.x,at=0x20"},
         "insert 'CODE,blob.x,at=0x20': at= is for binary files: the records of blob.x carry their addresses "
         "(offset= moves them)",
         ":01002000419E\n"},
        {{"-insert", "CODE,blob.bin,at=0x3f0"},
         "insert 'CODE,blob.bin,at=0x3f0': data 0x000003f0..0x0000046f lies outside range 'CODE' "
         "(0x00000000..0x000003ff)"},
        {{"-insert", "CODE,blob.bin,at=0x21"},
         "insert 'CODE,blob.bin,at=0x21': data at 0x00000021 of blob.bin does not start a memory word of range "
         "'CODE'"},
        {{"-insert", "CODE,blob.bin,at=0xe0"}, "insert 'CODE,blob.bin,at=0xe0': its data overlaps section '.text' at "
                                                "0x00000100"},
        {{"-insert", "CODE,blob.bin,at=0x20", "-insert", "CODE,blob.bin,at=0x80"},
         "insert 'CODE,blob.bin,at=0x80': its data overlaps insert 'CODE,blob.bin,at=0x20' at 0x00000080"},
        {{"-checksum", "CODE,crc32,at=0x40", "-insert", "CODE,blob.bin,at=0x20"},
         "insert 'CODE,blob.bin,at=0x20': its data overlaps the slot of checksum 'CODE,crc32,at=0x40' at "
         "0x00000040"},
        {{"-boot", "-bootorg", "0x300", "-insert", "CODE,blob.bin,at=0x310"},
         "insert 'CODE,blob.bin,at=0x310': its data overlaps the boot table at 0x00000310"},
        {{"-insert", "CODE,lo.hex"}, "file 'lo.hex' is output file 0 of range 'CODE' and an inserted file",
         ":01002000419E\n"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        dir.write("blob.bin", BLOB);
        if (!c.file.empty())
            dir.write(c.options.back().find("lo.hex") != std::string::npos ? "lo.hex" : "blob.x", c.file);
        const std::vector<std::string> before = dir.files();
        RunResult r = convert(dir, program(), c.options);
        EXPECT_EQ(r.status, 1) << c.err;
        // the messages as one line each
        const std::string err = unwrapped(r.err);
        EXPECT_EQ(err, ">>   ERROR: " + c.err + "\n" + stop) << c.options.back();
        std::vector<std::string> after = dir.files();
        after.erase(std::remove(after.begin(), after.end(), "app.out"), after.end());
        after.erase(std::remove(after.begin(), after.end(), "r.cmd"), after.end());
        EXPECT_EQ(after, before) << c.options.back();
    }
    // an insert that keeps no byte is a warning
    TempDir dir;
    dir.write("blob.bin", BLOB);
    RunResult r = convert(dir, program(), {"-insert", "CODE,blob.bin,at=0x20,from=0x300,to=0x3ff"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, ">> WARNING: insert 'CODE,blob.bin,at=0x20,from=0x300,to=0x3ff': keeps no byte of\n"
                     "            blob.bin\n");
}

}  // namespace
