// The files for simulators and hosts (-vmem, -mif, -coe, -carray) hold each
// lane's device words at the device's word addresses: each is read by an
// independent reader (Icarus Verilog, SRecord, a small parser, gcc) and
// compared by SRecord's srec_cmp with the same lane written as Intel hex with
// -romaddr. -reclen records read back by objcopy to the same bytes.
#include <gtest/gtest.h>

#include "helpers.h"

using namespace khextest;

namespace {

struct Config {
    const char* what;
    int memwidth, romwidth;  // bits
    bool image;
    const char* order;
};

const Config CONFIGS[] = {
    {"two 8-bit lanes, gaps", 16, 8, false, "LS"},
    {"two 8-bit lanes, image, -order MS", 16, 8, true, "MS"},
    {"one 16-bit lane, image", 16, 16, true, "LS"},
    {"one 32-bit lane, gaps", 32, 32, false, "LS"},
    {"two 16-bit lanes of 32-bit memory, image, -order MS", 32, 16, true, "MS"},
    {"a 32-bit ROM on 16-bit memory, image", 16, 32, true, "LS"},
};

constexpr uint32_t ORIGIN = 0x100;
constexpr uint32_t LENGTH = 0x200;

std::string roms(const Config& c, const std::string& ext)
{
    const int lanes = c.romwidth < c.memwidth ? c.memwidth / c.romwidth : 1;
    std::string files;
    for (int i = 0; i < lanes; ++i)
        files += (i ? ", lane" : "lane") + std::to_string(i) + ext;
    return "ROMS { CODE: origin = 0x100, length = 0x200, romwidth = " + std::to_string(c.romwidth) +
           ", memwidth = " + std::to_string(c.memwidth) + ", fill = 0xA5A5, files = { " + files + " } }\n" +
           "SECTIONS { .text: paddr = 0x100 .data: paddr = 0x200 }\n";
}

int lanes_of(const Config& c)
{
    return c.romwidth < c.memwidth ? c.memwidth / c.romwidth : 1;
}

// The lane files as Intel hex with -romaddr (and -zero in image mode), and
// the device address of the range's first byte in them.
uint32_t write_reference(const TempDir& dir, const Config& c)
{
    dir.write("ref.cmd", roms(c, ".hex"));
    std::vector<std::string> args = {"-q", "-i", "-romaddr", "-order", c.order};
    if (c.image)
        args.insert(args.end(), {"-image", "-zero"});
    args.insert(args.end(), {"ref.cmd", "demo.out"});
    EXPECT_EQ(run_khex(dir, args).status, 0);
    if (c.image)
        return 0;
    return c.romwidth < c.memwidth ? ORIGIN / (c.memwidth / 8) * (c.romwidth / 8) : ORIGIN;
}

RunResult write_format(const TempDir& dir, const Config& c, const std::string& option, const std::string& ext)
{
    dir.write("f.cmd", roms(c, ext));
    std::vector<std::string> args = {"-q", option, "-order", c.order};
    if (c.image)
        args.push_back("-image");
    args.insert(args.end(), {"f.cmd", "demo.out"});
    return run_khex(dir, args);
}

// srec_cmp: the device words of `file` (as `format` reads them) equal those
// of the reference lane, moved to device address 0.
void expect_same_words(const TempDir& dir, const std::string& file, const std::vector<std::string>& format, int lane,
                       uint32_t base, uint32_t fill_to = 0)
{
    std::vector<std::string> argv = {"srec_cmp", file};
    argv.insert(argv.end(), format.begin(), format.end());
    argv.insert(argv.end(), {"lane" + std::to_string(lane) + ".hex", "-intel", "-offset", "-" + std::to_string(base)});
    if (fill_to)
        argv.insert(argv.end(), {"-fill", "0xA5", "0", std::to_string(fill_to)});
    RunResult r = run_program(dir, argv);
    EXPECT_EQ(r.status, 0) << file << ": " << r.out << r.err;
}

class DeviceFormats : public ::testing::Test {
protected:
    void SetUp() override { program_ = coffgen::demo_program().build(); }
    // Each configuration in a fresh directory with the reference lanes.
    template <class Check>
    void for_each_config(const std::string& option, const std::string& ext, Check check)
    {
        for (const Config& c : CONFIGS) {
            SCOPED_TRACE(std::string(option) + ": " + c.what);
            TempDir dir;
            dir.write("demo.out", program_);
            const uint32_t base = write_reference(dir, c);
            RunResult r = write_format(dir, c, option, ext);
            ASSERT_EQ(r.status, 0) << r.err;
            for (int lane = 0; lane < lanes_of(c); ++lane)
                check(dir, c, lane, "lane" + std::to_string(lane) + ext, base, r);
        }
    }
    coffgen::Bytes program_;
};

// Icarus Verilog loads each file with $readmemh into a memory of the ROM's
// width and writes it back; so does SRecord's own VMEM of the reference lane.
TEST_F(DeviceFormats, VerilogFilesLoadInIcarusAndSRecordAsTheDeviceImage)
{
    for_each_config("-vmem", ".v", [](const TempDir& dir, const Config& c, int lane, const std::string& file,
                                      uint32_t base, const RunResult&) {
        expect_same_words(dir, file, {"-vmem"}, lane, base);
        const std::string ref = "lane" + std::to_string(lane) + ".hex";
        ASSERT_EQ(run_program(dir, {"srec_cat", ref, "-intel", "-offset", "-" + std::to_string(base), "-o", "ref.v",
                                    "-vmem", std::to_string(c.romwidth)})
                      .status,
                  0);
        const std::string depth = std::to_string(LENGTH * 8 / std::max(c.memwidth, c.romwidth));
        for (const std::string& name : {file, std::string("ref.v")}) {
            dir.write("t.v", "module t; reg [" + std::to_string(c.romwidth - 1) + ":0] m [0:" + depth +
                                 "-1]; initial begin $readmemh(\"" + name + "\", m); $writememh(\"" + name +
                                 ".out\", m); $finish; end endmodule\n");
            ASSERT_EQ(run_program(dir, {"iverilog", "-o", "t.vvp", "t.v"}).status, 0);
            ASSERT_EQ(run_program(dir, {"vvp", "-n", "t.vvp"}).status, 0);
        }
        EXPECT_EQ(dir.read(file + ".out"), dir.read("ref.v.out"));
    });
}

// A small parser turns each MIF file into VMEM words, which srec_cmp holds
// against the reference; the header states the device's width and depth.
TEST_F(DeviceFormats, MifFilesHoldTheWrittenWordsAtTheirAddresses)
{
    for_each_config("-mif", ".mif", [](const TempDir& dir, const Config& c, int lane, const std::string& file,
                                       uint32_t base, const RunResult&) {
        const std::string text = dir.read(file);
        EXPECT_NE(text.find("WIDTH=" + std::to_string(c.romwidth) + ";\nDEPTH=" +
                            std::to_string(LENGTH * 8 / std::max(c.memwidth, c.romwidth)) + ";\n"),
                  std::string::npos);
        dir.write("mif.py",
                  "import re, sys\n"
                  "out = []\n"
                  "for a, b, w in re.findall(r'^\\t\\[?([0-9A-F]+)(?:\\.\\.([0-9A-F]+)\\])? : ([0-9A-F]+);$', "
                  "open(sys.argv[1]).read(), re.M):\n"
                  "    for k in range(int(a, 16), int(b or a, 16) + 1): out.append('@%x %s' % (k, w))\n"
                  "open(sys.argv[2], 'w').write('\\n'.join(out) + '\\n')\n");
        ASSERT_EQ(run_program(dir, {"python3", "mif.py", file, "mif.v"}).status, 0);
        expect_same_words(dir, "mif.v", {"-vmem"}, lane, base);
    });
}

// Every word of the device, the ones no data occupies holding the fill with
// a warning once per file.
TEST_F(DeviceFormats, CoeFilesHoldEveryWordOfTheDevice)
{
    for_each_config("-coe", ".coe", [](const TempDir& dir, const Config& c, int lane, const std::string& file,
                                       uint32_t base, const RunResult& r) {
        dir.write("coe.py",
                  "import sys\n"
                  "t = open(sys.argv[1]).read().split('memory_initialization_vector=\\n')[1]\n"
                  "assert t.endswith(';\\n')\n"
                  "words = t[:-2].split(',\\n')\n"
                  "open(sys.argv[2], 'w').write('@0\\n' + '\\n'.join(words) + '\\n')\n");
        ASSERT_EQ(run_program(dir, {"python3", "coe.py", file, "coe.v"}).status, 0);
        // the device's bytes: its words, ROM-width each
        const uint32_t device_bytes = LENGTH / static_cast<uint32_t>(lanes_of(c));
        expect_same_words(dir, "coe.v", {"-vmem"}, lane, base, c.image ? 0 : device_bytes);
        EXPECT_EQ(r.err.find("COE file 'lane" + std::to_string(lane) + ".coe' holds the fill") != std::string::npos,
                  !c.image);
    });
}

// Each C file compiles cleanly as C99 and as C++; a host's loop over its
// runs writes the words back, as srec_cmp reads them.
TEST_F(DeviceFormats, CArraysCompileAndHoldTheRunsOfWords)
{
    for_each_config("-carray", ".c", [](const TempDir& dir, const Config& c, int lane, const std::string& file,
                                        uint32_t base, const RunResult&) {
        const std::string name = "lane" + std::to_string(lane) + "_c";
        const std::string type = "uint" + std::to_string(c.romwidth) + "_t";
        dir.write("main.c", "#include <stdint.h>\n#include <stdio.h>\n"
                            "extern const uint32_t " + name + "_run_count;\n"
                            "extern const struct " + name + "_run { uint32_t address; uint32_t words; const " +
                                type + " *data; } " + name + "_runs[];\n"
                            "int main(void) {\n"
                            "    for (uint32_t r = 0; r < " + name + "_run_count; ++r)\n"
                            "        for (uint32_t k = 0; k < " + name + "_runs[r].words; ++k)\n"
                            "            printf(\"@%lx %0" + std::to_string(c.romwidth / 4) + "lx\\n\", "
                            "(unsigned long)(" + name + "_runs[r].address + k), (unsigned long)" + name +
                            "_runs[r].data[k]);\n"
                            "    return 0;\n}\n");
        const std::string flags = "-Wall -Wextra -Werror";
        ASSERT_EQ(run_program(dir, {"sh", "-c", "gcc -std=c99 " + flags + " " + file + " main.c -o host && "
                                                "g++ -x c++ " + flags + " -c " + file + " -o cxx.o && ./host > c.v"})
                      .status,
                  0);
        expect_same_words(dir, "c.v", {"-vmem"}, lane, base);
    });
}

// -reclen: records of at most n data bytes, filled to n where the data
// allows, that read back to the same bytes as records of the usual length.
// ROM words wider than the memory word that data reaches only in part, or
// from two sections: each byte stands where the Intel file puts it, the
// rest hold the fill, and each word is written once.
TEST(DeviceFormats32, AWideRomWordHoldsEachByteAtItsAddress)
{
    TempDir dir;
    coffgen::Coff c;
    c.sections = {{".a", 0x102, {0x11, 0x22}, 0, coffgen::STYP_TEXT},
                  {".b", 0x108, {0x33, 0x44}, 0, coffgen::STYP_TEXT},
                  {".c", 0x10A, {0x55, 0x66}, 0, coffgen::STYP_TEXT}};
    dir.write("app.out", c.build());
    dir.write("r.cmd", "ROMS { r: origin = 0x100, length = 0x10, romwidth = 32, memwidth = 16, fill = 0xA5A5 }\n");
    ASSERT_EQ(run_khex(dir, {"-q", "-i", "-o", "w.hex", "app.out", "r.cmd"}).status, 0);
    EXPECT_EQ(dir.read("w.hex"), ":020102002211C8\n:0201080044337E\n:02010A00665538\n:00000001FF\n");
    ASSERT_EQ(run_khex(dir, {"-q", "-vmem", "-o", "w.mem", "app.out", "r.cmd"}).status, 0);
    EXPECT_EQ(dir.read("w.mem"), "// range r, lane b0..b15, 32-bit words\n@0\nA5A52211\n@2\n44336655\n");
}

TEST(RecordLength, RecordsHoldAtMostTheGivenBytesAndReadBackTheSame)
{
    struct Case {
        const char* option;
        const char* decoder;
        size_t header, trailer;  // characters before and after a record's data
        uint32_t n;
    };
    const Case cases[] = {
        {"-i", "ihex", 9, 2, 16},
        {"-m3", "srec", 12, 2, 250},
        {"-m1", "srec", 8, 2, 2},
        {"-x", "tekhex", 15, 0, 120},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.option);
        TempDir dir;
        coffgen::Coff program;
        program.sections = {{".text", 0x100, coffgen::pattern(1000, 3), 0, coffgen::STYP_TEXT},
                            {".data", 0x1000, coffgen::pattern(6, 9), 0, coffgen::STYP_DATA}};
        dir.write("demo.out", program.build());
        dir.write("r.cmd", "ROMS { r: origin = 0, length = 0x10000, romwidth = 16, memwidth = 16 files = { a.out2 } }\n");
        ASSERT_EQ(run_khex(dir, {"-q", c.option, "r.cmd", "demo.out"}).status, 0);
        const std::string plain = objcopy_decode(dir, "a.out2", c.decoder);
        ASSERT_EQ(run_khex(dir, {"-q", c.option, "-reclen", std::to_string(c.n), "r.cmd", "demo.out"}).status, 0);
        EXPECT_EQ(objcopy_decode(dir, "a.out2", c.decoder), plain);
        size_t full = 0;
        const std::string text = dir.read("a.out2");
        for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
            const std::string line = text.substr(start, end - start);
            const bool data = line.rfind(":", 0) == 0 ? line.substr(7, 2) == "00"
                              : line[0] == 'S'        ? line[1] >= '1' && line[1] <= '3'
                                                      : line[3] == '6';
            if (!data)
                continue;
            const size_t bytes = (line.size() - c.header - c.trailer) / 2;
            EXPECT_LE(bytes, c.n) << line;
            full += bytes == c.n;
        }
        EXPECT_GT(full, 0u);
    }

    // refused, each before any file is written
    TempDir dir;
    dir.write("demo.out", coffgen::demo_program().build());
    const std::pair<std::vector<std::string>, std::string> refusals[] = {
        {{"-i", "-romwidth", "16", "-reclen", "7"},
         "-reclen 7 is not a whole number of the 16-bit ROM words of range '*DEFAULT*'"},
        {{"-a", "-reclen", "16"}, "-reclen applies to the Intel, Motorola and Extended Tektronix formats, not to "
                                  "ASCII-Hex"},
        {{"-i", "-reclen", "256"}, "-reclen 256: Intel records carry 1 to 255 data bytes"},
    };
    for (const auto& [options, message] : refusals) {
        std::vector<std::string> args = {"-q"};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back("demo.out");
        RunResult r = run_khex(dir, args);
        EXPECT_EQ(r.status, 1);
        const std::string err = unwrapped(r.err);
        EXPECT_EQ(err.rfind(">>   ERROR: " + message + "\n", 0), 0u) << r.err;
        EXPECT_EQ(dir.files(), std::vector<std::string>{"demo.out"});
    }
}

}  // namespace
