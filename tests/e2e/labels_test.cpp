// Every label of a lane file names the bits of the memory word its bytes are:
// a device file's comment, the JSON report's lane_bits and verify's text and
// JSON, for both target byte orders and both -order values. The map's
// OUTPUT FILES line counts lanes in lane order, as documented.
#include <gtest/gtest.h>

#include "helpers.h"

using namespace khextest;
using coffgen::Coff;

namespace {

// One word, bytes 0x11 at 0 and 0x22 at 1: a little-endian target reads
// 0x2211, a big-endian one 0x1122.
Coff one_word(bool big_endian)
{
    Coff c;
    c.target_big_endian = big_endian;
    c.sections = {{".text", 0, {0x11, 0x22}, 0, coffgen::STYP_TEXT}};
    return c;
}

std::string first_line(const std::string& text)
{
    return text.substr(0, text.find('\n'));
}

TEST(Labels, NameTheBitsEachLaneFileCarries)
{
    struct Case {
        bool big_endian;
        const char* order;
    };
    for (const Case& c : {Case{false, "LS"}, Case{false, "MS"}, Case{true, "MS"}, Case{true, "LS"}}) {
        SCOPED_TRACE(std::string(c.big_endian ? "big-endian, -order " : "little-endian, -order ") + c.order);
        TempDir dir;
        dir.write("app.out", one_word(c.big_endian).build());
        const std::vector<std::string> common = {"-q", "-vmem", "-order", c.order, "-o", "a.v", "-o", "b.v"};
        std::vector<std::string> args = common;
        args.insert(args.end(), {"-mapjson", "r.json", "-map", "r.map", "app.out"});
        ASSERT_EQ(run_khex(dir, args).status, 0);

        // the first file's byte, and the bits it is of the word's value
        const std::string a = dir.read("a.v");
        const std::string byte = a.substr(a.find("@0\n") + 3, 2);
        const uint8_t low = c.big_endian ? 0x22 : 0x11;
        const std::string bits = std::stoi(byte, nullptr, 16) == low ? "b0..b7" : "b8..b15";
        const std::string other = bits == "b0..b7" ? "b8..b15" : "b0..b7";
        const std::string json_bits = bits == "b0..b7" ? "[0,7]" : "[8,15]";
        EXPECT_EQ(first_line(a), "// range *DEFAULT*, lane " + bits + ", 8-bit words");
        EXPECT_EQ(first_line(dir.read("b.v")), "// range *DEFAULT*, lane " + other + ", 8-bit words");
        RunResult jq = run_program(dir, {"jq", "-c", "[.ranges[0].files[].lane_bits]", "r.json"});
        EXPECT_EQ(jq.out, "[" + json_bits + "," + (json_bits == "[0,7]" ? "[8,15]" : "[0,7]") + "]\n");
        EXPECT_NE(dir.read("r.map").find("OUTPUT FILES: a.v [b0..b7]\n                 b.v [b8..b15]"),
                  std::string::npos);

        // a read-back of the first device with its byte changed
        dir.write("rb.bin", coffgen::Bytes{static_cast<uint8_t>(std::stoi(byte, nullptr, 16) ^ 0xFF)});
        args = common;
        args.insert(args.end(), {"-verify", "a.v=rb.bin", "-mapjson", "v.json", "app.out"});
        RunResult v = run_khex(dir, args);
        EXPECT_EQ(v.status, 1);
        EXPECT_NE(v.out.find(", " + bits + ", .text): expected " + byte), std::string::npos) << v.out;
        jq = run_program(dir, {"jq", "-c", ".verify[0].first[0].lane_bits", "v.json"});
        EXPECT_EQ(jq.out, json_bits + "\n");
    }
}

}  // namespace
