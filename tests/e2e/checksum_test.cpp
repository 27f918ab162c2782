// Checksums and CRCs in the ROM image (-checksum): the lane files are decoded
// by an independent reader, put back together in lane order, and the value
// in the slot is compared with the checksum that SRecord or Python computes
// over the same bytes.
#include <gtest/gtest.h>

#include "helpers.h"

using namespace khextest;
using coffgen::Bytes;
using coffgen::Coff;
using coffgen::Section;

namespace {

Section data_at(const char* name, uint32_t address, size_t size, uint8_t first = 0x10)
{
    return Section{name, address, coffgen::pattern(size, first), 0, coffgen::STYP_TEXT};
}

Coff program(std::vector<Section> sections, bool big_endian = false,
             std::vector<coffgen::Symbol> symbols = {{"_start", 0}})
{
    Coff c;
    c.target_big_endian = big_endian;
    c.entry_point = 0;
    c.sections = std::move(sections);
    c.symbols = std::move(symbols);
    return c;
}

// Room for a header before .text (0x10..0x3f); .data at 0x80..0x8f.
Coff header_program(bool big_endian = false)
{
    return program({data_at(".text", 0x10, 0x30), data_at(".data", 0x80, 0x10, 0x90)}, big_endian);
}

// .data reserves a 4-byte variable, _rom_crc, at 0x88 with zeros, as a
// linker does for a placeholder.
Coff placeholder_program()
{
    Section data = data_at(".data", 0x80, 0x10, 0x90);
    std::fill(data.data.begin() + 8, data.data.begin() + 12, 0);
    return program({data_at(".text", 0, 0x40), data}, false, {{"_start", 0, 1}, {"_rom_crc", 0x88, 2}, {"_end", 0x100, -1}});
}

// A range of byte-wide ROMs on 16-bit memory, its lanes in lo.hex and hi.hex.
std::string two_lanes(uint32_t length, const std::string& more = "")
{
    char text[200];
    std::snprintf(text, sizeof text, "ROMS { r: origin = 0, length = 0x%x, romwidth = 8, memwidth = 16 %s\n"
                                     "         files = { lo.hex, hi.hex } }\n",
                  static_cast<unsigned>(length), more.c_str());
    return text;
}

RunResult convert(const TempDir& dir, const Coff& c, const std::string& roms, std::vector<std::string> options)
{
    dir.write("app.out", c.build());
    dir.write("r.cmd", roms);
    options.insert(options.end(), {"r.cmd", "app.out"});
    return run_khex(dir, options);
}

// The range as the target reads it: the two lanes' device images, lane by
// lane (under -order MS the first file carries the second lane).
Bytes target_image(const TempDir& dir, const char* decoder, bool order_ms)
{
    std::string lo = objcopy_decode(dir, order_ms ? "hi.hex" : "lo.hex", decoder);
    std::string hi = objcopy_decode(dir, order_ms ? "lo.hex" : "hi.hex", decoder);
    Bytes image;
    for (size_t k = 0; k < std::min(lo.size(), hi.size()); ++k) {
        image.push_back(static_cast<uint8_t>(lo[k]));
        image.push_back(static_cast<uint8_t>(hi[k]));
    }
    return image;
}

bool is_digest(const std::string& algorithm)
{
    return algorithm.rfind("sha", 0) == 0;
}

// The checksum Python's zlib and binascii (or a plain sum) give over bytes,
// or the digest of hashlib, which openssl dgst must give too; as hex digits.
std::string python_checksum(const TempDir& dir, const std::string& algorithm, const Bytes& bytes)
{
    dir.write("span.bin", bytes);
    dir.write("sum.py",
              "import sys, zlib, binascii, hashlib\n"
              "d = open(sys.argv[1], 'rb').read()\n"
              "a = sys.argv[2]\n"
              "print(hashlib.new(a, d).hexdigest() if a.startswith('sha') else '%x' % {\n"
              "      'crc32': lambda: zlib.crc32(d), 'crc16-xmodem': lambda: binascii.crc_hqx(d, 0),\n"
              "      'sum8': lambda: sum(d) & 0xff, 'sum16': lambda: sum(d) & 0xffff,\n"
              "      'negsum32': lambda: -sum(d) & 0xffffffff}[a]())\n");
    RunResult r = run_program(dir, {"python3", "sum.py", "span.bin", algorithm});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string value = r.out.substr(0, r.out.find('\n'));
    if (is_digest(algorithm)) {
        RunResult openssl = run_program(dir, {"openssl", "dgst", "-" + algorithm, "-r", "span.bin"});
        EXPECT_EQ(openssl.out.substr(0, openssl.out.find(' ')), value);
    }
    return value;
}

uint32_t stored_value(const Bytes& image, uint32_t at, uint32_t size, bool big)
{
    uint32_t value = 0;
    for (uint32_t i = 0; i < size; ++i)
        value |= uint32_t{image.at(at + i)} << (8 * (big ? size - 1 - i : i));
    return value;
}

// A stored checksum as hex digits: a number in its byte order, a digest's
// bytes as they lie.
std::string stored_hex(const Bytes& image, uint32_t at, uint32_t size, bool big, const std::string& algorithm)
{
    std::string text;
    char digits[16];
    if (!is_digest(algorithm)) {
        std::snprintf(digits, sizeof digits, "%x", stored_value(image, at, size, big));
        return digits;
    }
    for (uint32_t i = 0; i < size; ++i) {
        std::snprintf(digits, sizeof digits, "%02x", image.at(at + i));
        text += digits;
    }
    return text;
}

// One checksum to recompute: its algorithm, slot and span (its own slot left
// out), and the addresses of the span that no data occupies, counted as the
// fill pattern or left out.
struct Check {
    const char* algorithm;
    uint32_t at, size, from, to;
    bool big;
    std::vector<std::pair<uint32_t, uint32_t>> holes = {};
    bool skip_holes = false;
};

// A field's slot and the value it must hold, worked out from the program's
// sections.
struct FieldCheck {
    uint32_t at, size;
    bool big;
    uint32_t expected;
};

struct Case {
    const char* what;
    Coff program;
    std::string roms;
    std::vector<std::string> options;
    std::vector<Check> checks;
    uint16_t fill = 0;
    std::vector<FieldCheck> fields = {};
};

// The span as the checksum reads it; the fill pattern repeats every two bytes
// from the range's origin in the target's byte order.
Bytes span_bytes(const Bytes& image, const Check& c, uint16_t fill, bool big_target)
{
    Bytes span;
    for (uint32_t a = c.from; a <= c.to; ++a) {
        if (a >= c.at && a < c.at + c.size)
            continue;
        bool hole = false;
        for (const auto& [first, last] : c.holes)
            hole |= a >= first && a <= last;
        if (hole && c.skip_holes)
            continue;
        const bool high = (a % 2 == 0) == big_target;
        span.push_back(hole ? static_cast<uint8_t>(high ? fill >> 8 : fill) : image.at(a));
    }
    return span;
}

bool has(const std::vector<std::string>& options, const char* word)
{
    return std::find(options.begin(), options.end(), word) != options.end();
}

TEST(Checksums, TheStoredValueIsWhatAnIndependentReaderComputes)
{
    const Coff little = program({data_at(".text", 0, 0x40), data_at(".data", 0x80, 0x10, 0x90)});
    const Coff big = program({data_at(".text", 0, 0x40), data_at(".data", 0x80, 0x10, 0x90)}, true);
    auto image_mode = [](const std::vector<std::string>& more) {
        std::vector<std::string> options = {"-q", "-romaddr", "-image", "-fill", "0xA55A", "-i"};
        options.insert(options.end(), more.begin(), more.end());
        return options;
    };
    const std::vector<std::pair<uint32_t, uint32_t>> holes = {{0x40, 0x7F}, {0x90, 0xFB}};
    const Case cases[] = {
        {"at, from and to inside the range, Motorola-S3", little, two_lanes(0x200),
         {"-q", "-romaddr", "-image", "-m3", "-checksum", "r,sum16,at=0x100,from=0x20,to=0xff"},
         {{"sum16", 0x100, 2, 0x20, 0xFF, false}}},
        {"the boot table inside the span", program({data_at(".text", 0x1000, 0x30)}), two_lanes(0x100),
         image_mode({"-boot", "-serial16", "-e", "_start", "-checksum", "r,crc16-xmodem"}),
         {{"crc16-xmodem", 0xFE, 2, 0, 0xFD, false}}, 0xA55A},
        {"holes counted as fill", little, two_lanes(0x100),
         {"-q", "-romaddr", "-i", "-fill", "0xA55A", "-checksum", "r,crc32,holes=fill"},
         {{"crc32", 0xFC, 4, 0, 0xFB, false, holes}}, 0xA55A},
        {"holes left out", little, two_lanes(0x100),
         {"-q", "-romaddr", "-i", "-checksum", "r,sum8,at=0xfe,holes=skip"},
         {{"sum8", 0xFE, 2, 0, 0xFD, false, {{0x40, 0x7F}, {0x90, 0xFD}}, true}}},
        {"endian=big on a little-endian target", little, two_lanes(0x100),
         image_mode({"-checksum", "r,crc16-xmodem,endian=big"}), {{"crc16-xmodem", 0xFE, 2, 0, 0xFD, true}}, 0xA55A},
        {"endian=little on a big-endian target, -order LS", big, two_lanes(0x100),
         image_mode({"-order", "LS", "-checksum", "r,crc32,endian=little"}), {{"crc32", 0xFC, 4, 0, 0xFB, false}},
         0xA55A},
        {"the target's byte order on a big-endian target", big, two_lanes(0x100),
         image_mode({"-checksum", "r,negsum32"}), {{"negsum32", 0xFC, 4, 0, 0xFB, true}}, 0xA55A},
        {"a CRC of one's own parameters", little, two_lanes(0x100),
         image_mode({"-checksum", "r,crc,width=16,poly=0x1021,init=0,refin=0,refout=0,xorout=0"}),
         {{"crc16-xmodem", 0xFE, 2, 0, 0xFD, false}}, 0xA55A},
        {"a later span covers an earlier slot", little, two_lanes(0x100),
         image_mode({"-checksum", "r,sum8,at=0x40,to=0x3f", "-checksum", "r,crc32"}),
         {{"sum8", 0x40, 2, 0, 0x3F, false}, {"crc32", 0xFC, 4, 0, 0xFB, false}}, 0xA55A},
        {"a header CRC at the range's start over the rest of it", header_program(), two_lanes(0x100),
         image_mode({"-checksum", "r,crc32,at=0"}), {{"crc32", 0, 4, 4, 0xFF, false}}, 0xA55A},
        {"a header CRC without -image, holes counted as fill", header_program(), two_lanes(0x100),
         {"-q", "-romaddr", "-i", "-fill", "0xA55A", "-checksum", "r,crc32,at=0,holes=fill"},
         {{"crc32", 0, 4, 4, 0xFF, false, {{4, 0xF}, {0x40, 0x7F}, {0x90, 0xFF}}}}, 0xA55A},
        {"a slot inside its own span", little, two_lanes(0x100),
         image_mode({"-checksum", "r,crc32,at=0x40,from=0,to=0xff"}), {{"crc32", 0x40, 4, 0, 0xFF, false}}, 0xA55A},
        {"a slot at a symbol over the placeholder the linker reserved", placeholder_program(), two_lanes(0x100),
         image_mode({"-checksum", "r,crc32,at=_rom_crc,from=0,to=0xff"}), {{"crc32", 0x88, 4, 0, 0xFF, false}},
         0xA55A},
        {"from= and to= as symbols with offsets", placeholder_program(), two_lanes(0x100),
         image_mode({"-checksum", "r,sum16,at=0xf0,from=_start+2,to=_end-0x11"}),
         {{"sum16", 0xF0, 2, 2, 0xEF, false}}, 0xA55A},
        {"a header CRC over a length field, fields of each kind", header_program(), two_lanes(0x100),
         image_mode({"-checksum", "r,crc32,at=0", "-field", "r,length,at=4,size=2", "-field", "r,first,at=8",
                     "-field", "r,last,at=0xf8,endian=big", "-field", "r,value=0x12345678,at=0xfc"}),
         {{"crc32", 0, 4, 4, 0xFF, false}}, 0xA55A,
         {{4, 2, false, 0x80}, {8, 4, false, 0x10}, {0xF8, 4, true, 0x8F}, {0xFC, 4, false, 0x12345678}}},
        {"a SHA-256 after its span, big-endian target", big, two_lanes(0x100), image_mode({"-checksum", "r,sha256"}),
         {{"sha256", 0xE0, 32, 0, 0xDF, false}}, 0xA55A},
        {"a SHA-1 before its span", little, two_lanes(0x100),
         image_mode({"-checksum", "r,sha1,at=0x40,from=0x54,to=0xff"}), {{"sha1", 0x40, 20, 0x54, 0xFF, false}},
         0xA55A},
        {"a SHA-256 inside its span, -order LS", big, two_lanes(0x100),
         image_mode({"-order", "LS", "-checksum", "r,sha256,at=0x40,from=0,to=0xff"}),
         {{"sha256", 0x40, 32, 0, 0xFF, false}}, 0xA55A},
        {"a SHA-256 with its holes left out", little, two_lanes(0x100),
         {"-q", "-romaddr", "-i", "-checksum", "r,sha256,at=0xe0,holes=skip"},
         {{"sha256", 0xE0, 32, 0, 0xDF, false, {{0x40, 0x7F}, {0x90, 0xDF}}, true}}},
        {"a SHA-256 with its holes as fill", little, two_lanes(0x100),
         {"-q", "-romaddr", "-i", "-fill", "0xA55A", "-checksum", "r,sha256,at=0xe0,holes=fill"},
         {{"sha256", 0xE0, 32, 0, 0xDF, false, {{0x40, 0x7F}, {0x90, 0xDF}}}}, 0xA55A},
        {"fields on a big-endian target", header_program(true), two_lanes(0x100),
         image_mode({"-field", "r,length,at=4,size=1", "-field", "r,first,at=8,endian=little", "-field",
                     "r,last,at=0xf8"}),
         {}, 0xA55A, {{4, 2, true, 0x80}, {8, 4, false, 0x10}, {0xF8, 4, true, 0x8F}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        RunResult r = convert(dir, c.program, c.roms, c.options);
        ASSERT_EQ(r.status, 0) << r.err;
        const bool order_ms = c.program.target_big_endian != has(c.options, "LS");
        const Bytes image = target_image(dir, has(c.options, "-m3") ? "srec" : "ihex", order_ms);
        for (const Check& check : c.checks) {
            const uint32_t width = is_digest(check.algorithm) ? (check.algorithm == std::string("sha1") ? 20 : 32)
                                                              : check.size;
            EXPECT_EQ(stored_hex(image, check.at, width, check.big, check.algorithm),
                      python_checksum(dir, check.algorithm,
                                      span_bytes(image, check, c.fill, c.program.target_big_endian)))
                << check.algorithm;
        }
        for (const FieldCheck& field : c.fields)
            EXPECT_EQ(stored_value(image, field.at, field.size, field.big), field.expected) << field.at;
    }
}

// The default slot is the range's last whole memory words; SRecord's CRC-32
// filter over the image before it gives the same value, which the map shows.
TEST(Checksums, ADefaultSlotHoldsTheCrc32OfTheImageBeforeIt)
{
    TempDir dir;
    RunResult r = convert(dir, coffgen::demo_program(), two_lanes(0x200),
                          {"-romaddr", "-image", "-fill", "0xFFFF", "-i", "-map", "r.map", "-mapsvg", "r.svg",
                           "-checksum", "r,crc32"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, ">> WARNING: can't convert RAM-model .cinit with -image\n");
    const Bytes image = target_image(dir, "ihex", false);
    ASSERT_EQ(image.size(), 0x200u);
    dir.write("image.bin", image);
    RunResult crc = run_program(dir, {"srec_cat", "image.bin", "-binary", "-crop", "0", "0x1fc", "-crc32-l-e",
                                      "0x1fc", "-crop", "0x1fc", "0x200", "-offset", "-0x1fc", "-o", "crc.bin", "-binary"});
    ASSERT_EQ(crc.status, 0) << crc.err;
    EXPECT_EQ(dir.read_bytes("crc.bin"), std::string(image.end() - 4, image.end()));
    char line[100];
    std::snprintf(line, sizeof line, "000001fc..000001ff   CHECKSUM crc32 = %08x over 00000000..000001fb\n",
                  stored_value(image, 0x1FC, 4, false));
    const std::string map = dir.read("r.map");
    EXPECT_NE(map.find("             00000140..000001fb   FILL = 0000ffff\n             " + std::string(line)),
              std::string::npos)
        << map;
    // the picture draws the slot as a block of its own
    const std::string svg = dir.read("r.svg");
    EXPECT_NE(svg.find("class=\"checksum\""), std::string::npos);
    EXPECT_NE(svg.find(std::string(line).substr(30, 16) + " 000001fc..000001ff (4 bytes), over 00000000..000001fb"),
              std::string::npos)
        << svg;
}

// Every bad request is an ERROR once the ranges are resolved, and nothing is
// written; data that would land in a slot is FATAL.
TEST(Checksums, BadRequestsStopBeforeAnyFileIsWritten)
{
    struct Case {
        std::vector<std::string> options;
        std::string err;
    };
    const std::string stop = ">> FATAL ERROR: errors prevent conversion (aborting)\n";
    const Case cases[] = {
        {{"-checksum", "nope,crc32"}, ">>   ERROR: checksum 'nope,crc32': no range named 'nope' (ranges: r)\n"},
        {{"-checksum", "R,crc32"},
         ">>   ERROR: checksum 'R,crc32': no range named 'R' (ranges: r; 'r' differs only\n"
         "            in case)\n"},
        {{"-checksum", "r"}, ">>   ERROR: checksum 'r': no algorithm after range 'r'\n"},
        {{"-checksum", "r,crc33"},
         ">>   ERROR: checksum 'r,crc33': unknown algorithm 'crc33' (algorithms: crc32,\n"
         "            crc32c, crc32-mpeg2, crc16-ibm-3740, crc16-xmodem, crc16-kermit,\n"
         "            crc16-arc, crc16-modbus, crc8-smbus, sum8, sum16, sum32, negsum8,\n"
         "            negsum16, negsum32, sha1, sha256, sha512, crc)\n"},
        {{"-checksum", "r,sha256,endian=little"},
         ">>   ERROR: checksum 'r,sha256,endian=little': endian= is for numbers: a sha256\n"
         "            digest is stored byte 0 first\n"},
        {{"-checksum", "r,crc32,at", "0x40"},
         ">>   ERROR: checksum 'r,crc32,at 0x40': write at=0x40, with no blank\n"},
        {{"-checksum", "r.cmd"},
         ">>   ERROR: checksum 'r.cmd': 'r.cmd' is a file: is the value of -checksum\n"
         "            missing?\n"},
        {{"-checksum", "r,crc32,size=4,at=8,AT=8"},
         ">>   ERROR: checksum 'r,crc32,size=4,at=8,AT=8': unknown field 'size'\n"
         ">>   ERROR: checksum 'r,crc32,size=4,at=8,AT=8': field 'at' given twice\n"},
        {{"-checksum", "r,crc32,at=12x"}, ">>   ERROR: checksum 'r,crc32,at=12x': malformed field 'at=12x'\n"},
        {{"-checksum", "r,crc16-arc,poly=5"},
         ">>   ERROR: checksum 'r,crc16-arc,poly=5': field 'poly' belongs to the crc\n"
         "            algorithm\n"},
        {{"-checksum", "r,crc,width=16,poly=0x1021,refin=2,refout=0,xorout=0"},
         ">>   ERROR: checksum 'r,crc,width=16,poly=0x1021,refin=2,refout=0,xorout=0': the\n"
         "            crc algorithm needs the field 'init'\n"},
        {{"-checksum", "r,crc32,at=0x81"},
         ">>   ERROR: checksum 'r,crc32,at=0x81': slot at 0x00000081 does not start a\n"
         "            memory word of range 'r'\n"},
        {{"-checksum", "r,crc32,at=0xfe"},
         ">>   ERROR: checksum 'r,crc32,at=0xfe': slot 0x000000fe..0x00000101 lies outside\n"
         "            range 'r' (0x00000000..0x000000ff)\n"},
        {{"-checksum", "r,crc32,from=0x80,to=0x10"},
         ">>   ERROR: checksum 'r,crc32,from=0x80,to=0x10': to= 0x10 is before from= 0x80\n"},
        {{"-checksum", "r,crc32,at=0x10,from=0x20"},
         ">>   ERROR: checksum 'r,crc32,at=0x10,from=0x20': the default to= of a slot at\n"
         "            0x10 is the byte before it, which is before from= 0x20: give to=\n"},
        {{"-checksum", "r,crc32,at=0x40", "-checksum", "r,sum16,at=0x42"},
         ">>   ERROR: checksums 'r,crc32,at=0x40' and 'r,sum16,at=0x42' have overlapping\n"
         "            slots in range 'r'\n"},
        {{"-checksum", "r,crc32,at=_nope"}, ">>   ERROR: checksum 'r,crc32,at=_nope': no symbol '_nope' in app.out\n"},
        {{"-checksum", "r,crc32,at=_start+0xe"},
         ">>   ERROR: checksum 'r,crc32,at=_start+0xe': slot 0x0000000e..0x00000011 lies\n"
         "            partly over section '.text' (0x00000000..0x0000000f)\n"},
        {{"-checksum", "r,crc32,at=0x20,from=0x40,to=0x7f", "-checksum", "r,sum16,at=0x40,from=0x20,to=0x3f"},
         ">>   ERROR: checksums 'r,crc32,at=0x20,from=0x40,to=0x7f' and\n"
         "            'r,sum16,at=0x40,from=0x20,to=0x3f' cover one another's slots in a\n"
         "            loop\n"},
        {{"-field", "r,value=0x1234,at=0x20,size=1"},
         ">>   ERROR: field 'r,value=0x1234,at=0x20,size=1': value 0x1234 does not fit in\n"
         "            1 byte\n"},
        {{"-field", "r,length,at=0x20,from=0x40,to=0x7f"},
         ">>   ERROR: field 'r,length,at=0x20,from=0x40,to=0x7f': no data in its span\n"
         "            0x00000040..0x0000007f\n"},
        {{"-field", "r,length"}, ">>   ERROR: field 'r,length': at= is required: the field's slot\n"},
        {{"-checksum", "r,crc32,at=0x20", "-field", "r,first,at=0x22"},
         ">>   ERROR: checksum 'r,crc32,at=0x20' and field 'r,first,at=0x22' have\n"
         "            overlapping slots in range 'r'\n"},
        {{"-b", "-memwidth", "8", "-checksum", "r,crc32"},
         ">>   ERROR: -checksum needs -image with the Binary format, whose files carry no\n"
         "            addresses\n"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        std::vector<std::string> options = {"-q", "-i"};
        options.insert(options.end(), c.options.begin(), c.options.end());
        RunResult r = convert(dir, program({data_at(".text", 0, 0x10)}), two_lanes(0x100), options);
        EXPECT_EQ(r.status, 1) << c.options.back();
        EXPECT_EQ(r.err, c.err + stop) << c.options.back();
        EXPECT_EQ(dir.files(), (std::vector<std::string>{"app.out", "r.cmd"})) << c.options.back();
    }

    // a symbol's offset that reaches past its own section into the next
    TempDir over;
    RunResult r = convert(over, program({data_at(".crc", 0, 4), data_at(".text", 4, 0x10)}, false, {{"_rom_crc", 0, 1}}),
                          two_lanes(0x100), {"-q", "-i", "-checksum", "r,crc16-xmodem,at=_rom_crc+4"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              ">>   ERROR: checksum 'r,crc16-xmodem,at=_rom_crc+4': slot 0x00000004..0x00000005\n"
              "            lies over section '.text' (0x00000004..0x00000013), but symbol\n"
              "            '_rom_crc' is of section '.crc'\n" + stop);
    EXPECT_EQ(over.files(), (std::vector<std::string>{"app.out", "r.cmd"}));

    TempDir dir;
    r = convert(dir, program({data_at(".text", 0, 0x10), data_at(".data", 0xF0, 0x10)}), two_lanes(0x100),
                {"-q", "-i", "-checksum", "r,crc32"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              ">> FATAL ERROR: section '.data' would be placed in the checksum slot at\n"
              "                0x000000fc of range 'r' (aborting)\n");
    EXPECT_EQ(dir.files(), (std::vector<std::string>{"app.out", "r.cmd"}));
}

// Without -image, holes in a span count as fill unless holes= says how; the
// warning says so when it does not.
TEST(Checksums, HolesCountedAsFillAreWarnedAboutUnlessHolesIsGiven)
{
    TempDir dir;
    RunResult r = convert(dir, program({data_at(".text", 0, 0x10)}), two_lanes(0x100, "fill = 0x00ff"),
                          {"-q", "-i", "-checksum", "r,crc32", "-checksum", "r,sum8,at=0x20,to=0x1f,holes=fill"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err,
              ">> WARNING: checksum crc32 of range 'r' counts 234 unwritten bytes as the fill\n"
              "            value 0x00ff; give holes=fill or holes=skip\n");

    // a header CRC, worked out by a pre-pass, warns once too, from the writing
    // pass, and the section's padding warning comes once
    TempDir header;
    Coff odd = header_program();
    odd.sections[1].data.pop_back();
    r = convert(header, odd, two_lanes(0x100, "fill = 0x00ff"), {"-q", "-i", "-checksum", "r,crc32,at=0"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err,
              ">> WARNING: checksum crc32 of range 'r' counts 188 unwritten bytes as the fill\n"
              "            value 0x00ff; give holes=fill or holes=skip\n"
              ">> WARNING: section '.data' was padded by 1 bytes to a size of 16 to satisfy the\n"
              "            specified memory width of 2\n");
}

}  // namespace

// The map lists a slot over a section's bytes after the section, and fields
// in the checksum line's style; the JSON report counts the slot's bytes
// with the section's, once.
TEST(Checksums, TheReportsListFieldsAndSlotsOverSectionData)
{
    TempDir dir;
    RunResult r = convert(dir, placeholder_program(), two_lanes(0x100),
                          {"-q", "-romaddr", "-image", "-fill", "0xA55A", "-i", "-map", "r.map", "-mapjson", "r.json",
                           "-checksum", "r,crc32,at=_rom_crc,from=0,to=0xff", "-field", "r,value=0xcafe,at=0xf0,size=2",
                           "-field", "r,length,at=0xf4"});
    ASSERT_EQ(r.status, 0) << r.err;
    const Bytes image = target_image(dir, "ihex", false);
    char crc[120];
    std::snprintf(crc, sizeof crc,
                  "             00000088..0000008b   CHECKSUM crc32 = %08x over 00000000..000000ff, in place of "
                  "bytes of .data\n",
                  stored_value(image, 0x88, 4, false));
    const std::string map = dir.read("r.map");
    EXPECT_NE(map.find("             00000080..0000008f   .data\n" + std::string(crc) +
                       "             00000090..000000ef   FILL = 0000a55a\n"
                       "             000000f0..000000f1   FIELD value = cafe\n"
                       "             000000f2..000000f3   FILL = 0000a55a\n"
                       "             000000f4..000000f7   FIELD length = 00000090 over 00000000..000000ff\n"),
              std::string::npos)
        << map;
    RunResult jq = run_program(dir, {"jq", "-c", ".ranges[0] | [.used_bytes, [.contents[] | .kind]]", "r.json"});
    EXPECT_EQ(jq.out, "[86,[\"section\",\"fill\",\"section\",\"checksum\",\"fill\",\"field\",\"fill\",\"field\",\"fill\"]]\n");
}
