// -romaddr: lane files whose records carry addresses in the ROM device, read
// back by independent readers.
#include <gtest/gtest.h>

#include "helpers.h"

using namespace khextest;
using coffgen::Bytes;

namespace {

// .text at 0x100 and .data at 0x400: a gap between them in every lane.
coffgen::Coff two_sections()
{
    coffgen::Coff c;
    c.sections = {
        {".text", 0x100, coffgen::pattern(0x48, 0x10), 0, coffgen::STYP_TEXT},
        {".data", 0x400, coffgen::pattern(0x20, 0xA0), 0, coffgen::STYP_DATA},
    };
    return c;
}

// The device image of lane `lane` from `from` on, as -O binary gives it: each
// memory word's lane at (A / memwidth) * romwidth, zeros in gaps. The default
// -order LS of a little-endian target turns each ROM word's bytes around.
Bytes lane_image(const coffgen::Coff& c, int memwidth, int romwidth, int lane, uint32_t from)
{
    Bytes image;
    for (const coffgen::Section& s : c.sections) {
        for (size_t word = 0; word < s.data.size(); word += memwidth) {
            uint32_t device = (s.vaddr + static_cast<uint32_t>(word)) / memwidth * romwidth - from;
            image.resize(std::max<size_t>(image.size(), device + romwidth));
            for (int b = 0; b < romwidth; ++b)
                image[device + b] = s.data[word + lane * romwidth + (romwidth - 1 - b)];
        }
    }
    return image;
}

TEST(RomAddresses, EachLaneFileReadsBackAsTheDeviceImage)
{
    struct Case {
        const char* option;
        const char* reader;
    };
    const Case formats[] = {{"-i", "ihex"}, {"-m3", "srec"}, {"-x", "tekhex"}};
    const int widths[][2] = {{16, 8}, {32, 16}};  // memory, ROM
    const coffgen::Coff c = two_sections();
    for (const Case& format : formats) {
        for (const auto& [memory, rom] : widths) {
            SCOPED_TRACE(std::string(format.option) + " memwidth " + std::to_string(memory));
            TempDir dir;
            dir.write("app.out", c.build());
            auto r = run_khex(dir, {"-q", "-romaddr", format.option, "-memwidth", std::to_string(memory), "-romwidth",
                                    std::to_string(rom), "-o", "lo", "-o", "hi", "app"});
            ASSERT_EQ(r.status, 0) << r.err;
            const uint32_t first = 0x100 / (memory / 8) * (rom / 8);
            for (int lane = 0; lane < 2; ++lane) {
                std::string bytes = objcopy_decode(dir, lane == 0 ? "lo" : "hi", format.reader);
                EXPECT_EQ(Bytes(bytes.begin(), bytes.end()), lane_image(c, memory / 8, rom / 8, lane, first))
                    << "lane " << lane;
            }
        }
    }
}

// A 64 KiB range of 16-bit memory on byte-wide ROMs: each lane is a whole
// 256-byte device image from address 0.
TEST(RomAddresses, ImageZeroFillGivesAnExactDeviceImage)
{
    TempDir dir;
    coffgen::Coff c;
    c.sections = {{".text", 0x1010, {1, 2, 3, 4}, 0, coffgen::STYP_TEXT}};
    dir.write("app.out", c.build());
    dir.write("r.cmd", "ROMS { r: o = 0x1000 l = 0x200 files = { lo hi } }\n");
    auto r = run_khex(dir, {"-q", "-i", "-romaddr", "-image", "-zero", "-fill", "0xBBAA", "r.cmd", "app"});
    ASSERT_EQ(r.status, 0) << r.err;
    Bytes lo(256, 0xAA), hi(256, 0xBB);
    lo[8] = 1, lo[9] = 3, hi[8] = 2, hi[9] = 4;
    std::string bytes = objcopy_decode(dir, "lo", "ihex");
    EXPECT_EQ(Bytes(bytes.begin(), bytes.end()), lo);
    bytes = objcopy_decode(dir, "hi", "ihex");
    EXPECT_EQ(Bytes(bytes.begin(), bytes.end()), hi);
}

TEST(RomAddresses, AddressMarksAndTheBootTableFollowAndTheMapShowsThem)
{
    TempDir dir;
    dir.write("app.out", two_sections().build());
    auto r = run_khex(dir, {"-q", "-romaddr", "-t", "-memwidth", "32", "-o", "lo", "-o", "hi", "app"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.read("lo").substr(0, 18), "K0000COFFTOZQ90080");  // 0x100 / 4 * 2

    r = run_khex(dir, {"-q", "-romaddr", "-a", "-o", "lo", "-o", "hi", "-map", "app.map", "app"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.read("lo").substr(0, 9), "\x02\n$A0080,");
    EXPECT_NE(dir.read("lo").find("$A0200,"), std::string::npos);
    std::string map = dir.read("app.map");
    EXPECT_NE(map.find("   OUTPUT FILES: lo [b0..b7]  ROM addresses 00000000..007fffff\n"
                       "                 hi [b8..b15]  ROM addresses 00000000..007fffff\n"),
              std::string::npos)
        << map;

    // the boot table at 0x200 starts at 0x100 in both lane files
    r = run_khex(dir, {"-q", "-romaddr", "-i", "-boot", "-bootorg", "0x200", "-o", "lo", "-o", "hi", "app"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.read("lo").substr(0, 9), ":20010000");
    EXPECT_EQ(dir.read("hi").substr(0, 9), ":20010000");
}

}  // namespace
