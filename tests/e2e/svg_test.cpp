// -mapsvg: the picture of the ROM layout, checked as text and classes, read by
// an independent XML parser and rendered by an independent SVG renderer.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "helpers.h"

using namespace khextest;

namespace {

std::string source_file(const std::string& path)
{
    std::ifstream in(std::string(KHEX_SOURCE_DIR) + "/" + path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// Well-formed XML, and a PNG rendering that is not blank: it compresses far
// worse than an empty picture of the same size.
void expect_valid_picture(const TempDir& dir, const std::string& name)
{
    auto lint = run_program(dir, {"xmllint", "--noout", name});
    EXPECT_EQ(lint.status, 0) << lint.err;
    EXPECT_EQ(lint.err, "");
    std::string svg = dir.read_bytes(name);
    size_t size_at = svg.find("width=");
    size_t size_end = svg.find(" viewBox");
    ASSERT_NE(size_at, std::string::npos);
    dir.write("blank.svg", "<svg xmlns=\"http://www.w3.org/2000/svg\" " + svg.substr(size_at, size_end - size_at) +
                               "><rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/></svg>\n");
    for (const char* picture : {"blank", "picture"}) {
        auto render = run_program(dir, {"rsvg-convert", std::string(picture) == "blank" ? "blank.svg" : name, "-o",
                                        std::string(picture) + ".png"});
        EXPECT_EQ(render.status, 0) << render.err;
    }
    EXPECT_GT(dir.read_bytes("picture.png").size(), 4 * dir.read_bytes("blank.png").size());
}

TEST(MapPicture, TheDemoIsPinnedAndRenders)
{
    TempDir dir;
    dir.write("demo.out", coffgen::demo_program().build());
    dir.write("demo.cmd", source_file("demo/demo.cmd"));
    auto r = run_khex(dir, {"-q", "-mapsvg", "demo.svg", "demo.cmd"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.read("demo.svg"), source_file("tests/e2e/expected/demo.svg"));
    expect_valid_picture(dir, "demo.svg");
}

// Three adjacent ranges in image mode: .text runs from lo into mid, .data runs
// past the end of hi, .const lies outside every range, and a boot table sits
// in hi.
TEST(MapPicture, ShowsContinuedIncompleteUnplacedFillAndTheBootTable)
{
    TempDir dir;
    coffgen::Coff c;
    c.sections = {
        {".text", 0x0, coffgen::pattern(0x180), 0, coffgen::STYP_TEXT},
        {".data", 0x2F0, coffgen::pattern(0x20), 0, coffgen::STYP_DATA},
        {".init", 0x400, coffgen::pattern(0x20), 0, coffgen::STYP_TEXT},
        {".const", 0x900, coffgen::pattern(0x10), 0, coffgen::STYP_DATA},
    };
    dir.write("app.out", c.build());
    dir.write("r.cmd",
              "ROMS { lo: o = 0 l = 0x100  mid: o = 0x100 l = 0x100  hi: o = 0x200 l = 0x100 fill = 0xFFFF }\n"
              "SECTIONS { .text .data .init = BOOT .const }\n");
    auto r = run_khex(dir, {"-q", "-i", "-image", "-bootorg", "0x240", "-mapsvg", "a.svg", "r.cmd", "app"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::string svg = dir.read("a.svg");
    const char* const parts[] = {
        ">PAGE 0<",
        ">lo<",
        ">00000100..000001ff, memory width 16 bits, ROM width 8 bits, fill 0000<",
        ">app.i10 [b0..b7]<",
        ">.text 00000000..000000ff (256 bytes), continues in mid<",
        ">.text 00000100..0000017f (128 bytes), continued from lo<",
        "class=\"fill\"",
        ">fill 00000180..000001ff (128 bytes)<",
        "class=\"boot-table\"",
        "class=\"boot-header\"",
        ">table header 00000240..00000247 (8 bytes)<",
        "class=\"boot-section\"",
        ">.init 00000248..0000026f (40 bytes)<",
        "class=\"boot-end\"",
        "class=\"section incomplete\"",
        ">.data 000002f0..000002ff (16 bytes) INCOMPLETE<",
        "class=\"not-placed\"",
        ">.const (16 bytes at 00000900)<",
    };
    for (const char* part : parts)
        EXPECT_TRUE(contains(svg, part)) << part;
    expect_valid_picture(dir, "a.svg");

    // the same input gives the same picture, byte for byte
    ASSERT_EQ(run_khex(dir, {"-q", "-i", "-image", "-bootorg", "0x240", "-mapsvg", "b.svg", "r.cmd", "app"}).status, 0);
    EXPECT_EQ(dir.read_bytes("b.svg"), dir.read_bytes("a.svg"));
}

}  // namespace
