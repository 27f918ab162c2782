// The hex readers on good and bad records of each format, and on the files
// objcopy, SRecord and khex's own writers make.
#include <gtest/gtest.h>

#include <map>

#include "hexfile/reader.h"
#include "runner.h"
#include "test_run.h"

using namespace khex;
using coffgen::Bytes;

namespace {

struct Read {
    bool ok;
    std::string err;                  // the messages, the file's name as NAME
    int format;
    std::map<uint32_t, uint8_t> bytes;  // by address, read back through the extents
};

Read read_file(const khextest::TempDir& dir, const std::string& name, int format = HEX_DETECT)
{
    FILE* err = std::tmpfile();
    Diagnostics d;
    d.console = Console{err, err};
    HexFile hex;
    hex.name = dir.file(name);
    hex.format = format;
    Read r{open_hex_file(hex, d), "", hex.format, {}};
    for (const HexExtent& e : hex.extents) {
        Bytes bytes(e.length);
        // in two parts, so that reading on from where a read stopped counts
        const uint32_t half = e.length / 2;
        EXPECT_TRUE(read_hex_bytes(hex, d, e, 0, bytes.data(), half));
        EXPECT_TRUE(read_hex_bytes(hex, d, e, half, bytes.data() + half, e.length - half));
        for (uint32_t i = 0; i < e.length; ++i)
            EXPECT_TRUE(r.bytes.emplace(e.address + i, bytes[i]).second) << "address read twice";
    }
    close_hex_file(hex);
    r.err = khextest::read_all(err);
    for (size_t at; (at = r.err.find(hex.name)) != std::string::npos;)
        r.err.replace(at, hex.name.size(), "NAME");
    // messages as one line each, whatever the length of the file's name
    r.err = khextest::unwrapped(r.err);
    std::fclose(err);
    return r;
}

Read read_text(const std::string& text, int format = HEX_DETECT)
{
    khextest::TempDir dir;
    dir.write("in.hex", text);
    return read_file(dir, "in.hex", format);
}

std::map<uint32_t, uint8_t> at(uint32_t address, const Bytes& bytes)
{
    std::map<uint32_t, uint8_t> m;
    for (size_t i = 0; i < bytes.size(); ++i)
        m[address + static_cast<uint32_t>(i)] = bytes[i];
    return m;
}

// Good records: what each format reads, with CR LF or LF, with or without
// an end record, records in any address order.
TEST(HexReaders, GoodRecordsGiveTheirBytesAtTheirAddresses)
{
    struct Case {
        const char* what;
        std::string text;
        int format;
        std::map<uint32_t, uint8_t> bytes;
    };
    std::map<uint32_t, uint8_t> two = at(0x100, {1, 2});
    two[0x10] = 0xAA;
    const Case cases[] = {
        {"Intel with an end record", ":0401000001020304F1\n:00000001FF\n", HEX_INTEL, at(0x100, {1, 2, 3, 4})},
        {"Intel with CR LF, no end record", ":0401000001020304F1\r\n", HEX_INTEL, at(0x100, {1, 2, 3, 4})},
        {"Intel extended linear and start records", ":020000040001F9\n:0400000512345678E3\n:0234560012342E\n",
         HEX_INTEL, at(0x13456, {0x12, 0x34})},
        {"Intel extended segment address", ":020000021000EC\n:01000000AA55\n", HEX_INTEL, at(0x10000, {0xAA})},
        {"Intel data running past 64 KiB", ":020000040001F9\n:04FFFE0001020304F5\n", HEX_INTEL,
         at(0x1FFFE, {1, 2, 3, 4})},
        {"Intel records out of order", ":020100000102FA\n:01001000AA45\n", HEX_INTEL, two},
        {"Motorola S1 with header and count", "S00600004844521B\nS10501000102F6\nS5030001FB\nS9030000FC\n",
         HEX_MOTOROLA, at(0x100, {1, 2})},
        {"Motorola S2, no end record", "S20601234501028D\n", HEX_MOTOROLA, at(0x12345, {1, 2})},
        {"Motorola S3 and S7", "S307123456780102E1\nS70500000000FA\n", HEX_MOTOROLA, at(0x12345678, {1, 2})},
        {"Extended Tektronix with a symbol block",
         "%1262E8000134561234\n%193AB4Pabc010_main8123456\n%0E85A8000ABCDE\n", HEX_TEKTRONIX,
         at(0x13456, {0x12, 0x34})},
        {"Extended Tektronix, a one-digit address", "%096181512\n", HEX_TEKTRONIX, at(0x5, {0x12})},
        {"binary", std::string("\x01\x02\x00\x03", 4), HEX_BINARY, at(0, {1, 2, 0, 3})},
    };
    for (const Case& c : cases) {
        const Read r = read_text(c.text);
        EXPECT_TRUE(r.ok) << c.what << ": " << r.err;
        EXPECT_EQ(r.format, c.format) << c.what;
        EXPECT_EQ(r.bytes, c.bytes) << c.what;
    }
}

// Bad records: each refused with its line and what is wrong.
TEST(HexReaders, BadRecordsAreRefusedWithTheirLine)
{
    struct Case {
        std::string text;
        std::string err;
        int format = HEX_DETECT;
    };
    const Case cases[] = {
        {":0401000001020304F2\n", "NAME:1: wrong checksum"},
        {":0401000001020304F1\n:040100000102", "NAME:2: count 4 does not match the 2 bytes after the record's header"},
        {":04010000010203F1\n", "NAME:1: count 4 does not match the 4 bytes after the record's header"},
        {":0401000001020304F\n", "NAME:1: count 4 does not match the 4 bytes after the record's header and an odd digit"},
        {":FF01000001\n", "NAME:1: count 255 does not match the 1 bytes after the record's header"},
        {":00000001FF\n:0401000001020304F1\n", "NAME:2: a record after the end record of line 1"},
        {":00000006FA\n", "NAME:1: unknown record type 6"},
        {":020000040001F9\n:0100000100FE\n", "NAME:2: record of type 1 with 1 data bytes"},
        {":02000004FFFFFC\n:04FFFE0001020304F5\n", "NAME:2: data runs past address 0xFFFFFFFF"},
        {std::string(":0401000001\0" "20304F1\n", 20), "NAME:1: not a hex digit"},
        {":" + std::string(10000000, '0') + "\n", "NAME:1: line longer than any record"},
        {":020100000102FA\n:01010100FD00\n", "NAME:2: data at 0x00000101 overlaps the data of line 1"},
        {"S10501000102F7\n", "NAME:1: wrong checksum"},
        {"S4050100010204\n", "NAME:1: S4 is not a record type"},
        {"S10501000102F6\nS5030002FA\n", "NAME:2: count record says 2 data records, the file has 1 before it"},
        {"S1060100010204\n", "NAME:1: count 6 does not match the record's 5 bytes"},
        {"S9030000FC\nS10501000102F6\n", "NAME:2: a record after the end record of line 1"},
        {"S307FFFFFFFF0102F9\n", "NAME:1: data runs past address 0xFFFFFFFF"},
        {"%1262E8000134561235\n", "NAME:1: wrong checksum"},
        {"%1362E8000134561234\n", "NAME:1: length 19 does not match the block's 18 characters"},
        {"%11629800013456123\n", "NAME:1: an odd number of data digits"},
        {"%096181512\n%096181512\n", "NAME:2: data at 0x00000005 overlaps the data of line 1"},
        {"garbage\n", "NAME:1: record too short", HEX_INTEL},
    };
    for (const Case& c : cases) {
        const Read r = read_text(c.text, c.format);
        EXPECT_FALSE(r.ok) << c.err;
        EXPECT_EQ(r.err, ">>   ERROR: " + c.err + "\n") << c.text.substr(0, 40);
    }
}

// objcopy's and SRecord's files, and khex's own, read back to the bytes they
// were made from, at their addresses.
TEST(HexReaders, FilesOfOtherToolsAndOfKhexReadBackToTheirBytes)
{
    khextest::TempDir dir;
    const Bytes data = coffgen::pattern(70000, 7);
    dir.write("data.bin", data);
    const std::map<uint32_t, uint8_t> expected = at(0x12340, data);
    struct Maker {
        std::vector<std::string> argv;
        int format;
    };
    const Maker makers[] = {
        {{"objcopy", "-I", "binary", "-O", "ihex", "--change-addresses", "0x12340", "data.bin", "out"}, HEX_INTEL},
        {{"objcopy", "-I", "binary", "-O", "srec", "--change-addresses", "0x12340", "data.bin", "out"}, HEX_MOTOROLA},
        {{"srec_cat", "data.bin", "-binary", "-offset", "0x12340", "-o", "out", "-intel"}, HEX_INTEL},
        {{"srec_cat", "data.bin", "-binary", "-offset", "0x12340", "-o", "out", "-motorola", "-address-length=3"},
         HEX_MOTOROLA},
        {{"srec_cat", "data.bin", "-binary", "-offset", "0x12340", "-o", "out", "-motorola", "-address-length=4"},
         HEX_MOTOROLA},
        {{"srec_cat", "data.bin", "-binary", "-offset", "0x12340", "-o", "out", "-tektronix-extended"}, HEX_TEKTRONIX},
    };
    for (const Maker& m : makers) {
        khextest::RunResult made = khextest::run_program(dir, m.argv);
        ASSERT_EQ(made.status, 0) << made.err;
        const Read r = read_file(dir, "out");
        EXPECT_TRUE(r.ok) << m.argv[0] << " " << m.argv.back() << ": " << r.err;
        EXPECT_EQ(r.format, m.format) << m.argv.back();
        EXPECT_TRUE(r.bytes == expected) << m.argv[0] << " " << m.argv.back();
    }
    // S1 records: 16-bit addresses
    const Bytes small = coffgen::pattern(3000, 1);
    dir.write("small.bin", small);
    ASSERT_EQ(khextest::run_program(dir, {"srec_cat", "small.bin", "-binary", "-offset", "0x100", "-o", "s1",
                                          "-motorola", "-address-length=2"})
                  .status,
              0);
    EXPECT_TRUE(read_file(dir, "s1").bytes == at(0x100, small));

    // khex's writers: one lane of a program at 0x1000
    coffgen::Coff coff;
    coff.sections = {{".text", 0x1000, data, 0, coffgen::STYP_TEXT}};
    dir.write("app.out", coff.build());
    for (const char* option : {"-i", "-m3", "-m2", "-x", "-b"}) {
        khextest::RunResult made =
            khextest::run_khex(dir, {"-q", option, "-memwidth", "8", "-romwidth", "8", "-o", "k", "app.out"});
        ASSERT_EQ(made.status, 0) << made.err;
        const Read r = read_file(dir, "k");
        EXPECT_TRUE(r.ok) << option << ": " << r.err;
        EXPECT_TRUE(r.bytes == at(std::string(option) == "-b" ? 0 : 0x1000, data)) << option;
    }
}

}  // namespace
