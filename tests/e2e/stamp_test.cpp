// A unit's own data (-stamp): each kind lies in its slot as the target
// reads it, across two byte lanes on both byte orders, and the CRC over the
// range covers it; the lane files are decoded by objcopy and the CRC
// recomputed by Python's zlib.
#include <gtest/gtest.h>

#include "helpers.h"

using namespace khextest;
using coffgen::Bytes;
using coffgen::Coff;

namespace {

Coff stamped_program(bool big_endian)
{
    Coff c;
    c.target_big_endian = big_endian;
    c.entry_point = 0;
    c.sections = {{".text", 0, coffgen::pattern(0x40, 0x10), 0, coffgen::STYP_TEXT}};
    c.symbols = {{"_start", 0, 1}, {"_serial", 0x40, -1}};
    return c;
}

RunResult convert(const TempDir& dir, bool big_endian, std::vector<std::string> options)
{
    dir.write("app.out", stamped_program(big_endian).build());
    dir.write("r.cmd", "ROMS { r: origin = 0, length = 0x80, romwidth = 8, memwidth = 16,\n"
                       "       files = { lo.hex, hi.hex } }\n");
    options.insert(options.begin(), {"-q", "-i", "-image", "-romaddr", "-checksum", "r,crc32"});
    options.insert(options.end(), {"r.cmd", "app.out"});
    return run_khex(dir, options);
}

// The image as the target reads it: lo.hex carries the low-order byte of
// each word, the first on a little-endian target, the second on a
// big-endian one.
Bytes image_of(const TempDir& dir, bool big_endian)
{
    const std::string lo = objcopy_decode(dir, "lo.hex", "ihex"), hi = objcopy_decode(dir, "hi.hex", "ihex");
    const std::string& first = big_endian ? hi : lo;
    const std::string& second = big_endian ? lo : hi;
    Bytes image;
    for (size_t k = 0; k < first.size() && k < second.size(); ++k) {
        image.push_back(static_cast<uint8_t>(first[k]));
        image.push_back(static_cast<uint8_t>(second[k]));
    }
    return image;
}

TEST(Stamps, EachKindLiesInItsSlotAndTheCrcCoversIt)
{
    struct Case {
        bool big;
        std::string stamp;
        uint32_t at;
        Bytes bytes;  // the slot as the target reads it
    };
    const Case cases[] = {
        {false, "r,at=_serial,size=2,value=4660", 0x40, {0x34, 0x12}},
        {true, "r,at=_serial,size=2,value=0x1234", 0x40, {0x12, 0x34}},
        {false, "r,at=0x44,size=4,value=0x01020304,endian=big", 0x44, {1, 2, 3, 4}},
        {true, "r,at=0x48,size=8,value=0x1122334455667788", 0x48, {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}},
        {false, "r,at=0x50,size=6,kind=mac,value=02:00:5E:10:20:FF", 0x50, {2, 0, 0x5e, 0x10, 0x20, 0xff}},
        {true, "r,at=0x50,size=4,kind=bytes,value=0xDEADbeef", 0x50, {0xde, 0xad, 0xbe, 0xef}},
        {false, "r,at=0x60,size=6,text=a, b", 0x60, {'a', ',', ' ', 'b', 0, 0}},
        {false, "r,at=0x60,size=6,chars=1,text=ab", 0x60, {'a', 0, 'b', 0, 0, 0}},
        {true, "r,at=0x60,size=6,chars=1,text=ab", 0x60, {0, 'a', 0, 'b', 0, 0}},
        {false, "r,at=0x60,size=4,chars=2,text=abc", 0x60, {'b', 'a', 0, 'c'}},
        {true, "r,at=0x60,size=4,chars=2,text=abc", 0x60, {'a', 'b', 'c', 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stamp);
        TempDir dir;
        ASSERT_EQ(convert(dir, c.big, {}).status, 0);
        const Bytes plain = image_of(dir, c.big);
        RunResult r = convert(dir, c.big, {"-stamp", c.stamp});
        ASSERT_EQ(r.status, 0) << r.err;
        const Bytes image = image_of(dir, c.big);
        ASSERT_EQ(image.size(), 0x80u);
        // the slot holds the stamp, every other byte but the CRC is as before
        Bytes expected = plain;
        std::copy(c.bytes.begin(), c.bytes.end(), expected.begin() + c.at);
        EXPECT_TRUE(std::equal(image.begin(), image.begin() + 0x7c, expected.begin()));
        dir.write("image.bin", image);
        dir.write("crc.py", "import sys, zlib\n"
                            "d = open('image.bin', 'rb').read()\n"
                            "stored = int.from_bytes(d[0x7c:], sys.argv[1])\n"
                            "print('ok' if zlib.crc32(d[:0x7c]) == stored else 'differs')\n");
        EXPECT_EQ(run_program(dir, {"python3", "crc.py", c.big ? "big" : "little"}).out, "ok\n");
    }
}

TEST(Stamps, BadStampsStopBeforeAnyFileIsWritten)
{
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"-stamp", "r,at=0x40,size=2"}, "give one of value=, text= and column=: the unit's data"},
        {{"-stamp", "r,at=0x40,size=2,value=1,text=a"}, "give one of value=, text= and column=: the unit's data"},
        {{"-stamp", "r,size=2,value=1"}, "at= is required: the stamp's slot"},
        {{"-stamp", "r,at=0x40,value=1"}, "size= is required: the slot's bytes, 1 to 1024"},
        {{"-stamp", "r,at=0x40,size=1,value=256"}, "value 256 does not fit in 1 byte"},
        {{"-stamp", "r,at=0x40,size=2,value=12ab"}, "malformed value '12ab': a number"},
        {{"-stamp", "r,at=0x40,size=6,kind=mac,value=02:00:5e:10:20"},
         "malformed MAC address '02:00:5e:10:20': six octets as aa:bb:cc:dd:ee:ff"},
        {{"-stamp", "r,at=0x40,size=8,kind=mac,value=02:00:5e:10:20:ff"},
         "mac '02:00:5e:10:20:ff' takes 6 bytes, not the slot's size=8"},
        {{"-stamp", "r,at=0x40,size=4,kind=bytes,value=abc"}, "malformed bytes 'abc': two hex digits a byte"},
        {{"-stamp", "r,at=0x40,size=2,chars=1,text=abc"}, "text 'abc' takes 6 bytes, not the slot's size=2"},
        {{"-stamp", "r,at=0x40,size=2,chars=1,value=1"}, "chars= is for text"},
        {{"-stamp", "r,at=0x40,size=6,kind=mac,endian=big,value=02:00:5e:10:20:ff"},
         "endian= is for numbers: a mac is stored in the order it is written"},
        {{"-stamp", "r,at=0x40,size=2,kind=serial,value=1"}, "malformed field 'kind=serial': number, mac, bytes or text"},
        {{"-stamp", "r,at=0x7c,size=2,value=1"}, "have overlapping slots in range 'r'"},
        {{"-stamp", "r,at=0x10,size=2,value=1"}, "section '.text' would be placed in the stamp slot at 0x00000010"},
    };
    for (const auto& [options, err] : cases) {
        SCOPED_TRACE(err);
        TempDir dir;
        RunResult r = convert(dir, false, options);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(unwrapped(r.err).find(err), std::string::npos) << r.err;
        EXPECT_FALSE(dir.exists("lo.hex"));
        EXPECT_FALSE(dir.exists("hi.hex"));
    }
}

}  // namespace
