// khex as a step of a firmware build: the dependency file, make re-running
// when an input changes, and the JSON report read by programs.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include "helpers.h"

using namespace khextest;
using coffgen::Coff;

namespace {

Coff two_sections()
{
    Coff c;
    c.sections = {{".text", 0, coffgen::pattern(0x40, 1), 0, coffgen::STYP_TEXT},
                  {".data", 0x100, coffgen::pattern(0x20, 0x80), 0, coffgen::STYP_DATA}};
    return c;
}

// The rule names every file the run wrote, then the COFF file and the
// command files it read; a run that converts nothing leaves an earlier rule.
TEST(DependencyFile, NamesWhatTheRunWroteAndRead)
{
    TempDir dir;
    dir.write("app.out", two_sections().build());
    dir.write("a.cmd", "-i -map app.map\n");
    dir.write("b.cmd", "app.out\nROMS { r: origin = 0, length = 0x200, files = { \"lo 1.hex\", hi$.hex } }\n");
    RunResult r = run_khex(dir, {"-q", "-depfile", "app.d", "a.cmd", "b.cmd"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.read("app.d"),
              "lo\\ 1.hex hi$$.hex app.map: \\\n"
              "  app.out \\\n"
              "  a.cmd \\\n"
              "  b.cmd\n");

    // a failing run leaves the rule as it was
    r = run_khex(dir, {"-q", "-depfile", "app.d", "-order", "x", "a.cmd", "b.cmd"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(dir.read("app.d").substr(0, 10), "lo\\ 1.hex ");
    // and it is a file of the run like any other
    r = run_khex(dir, {"-q", "-depfile", "b.cmd", "a.cmd", "b.cmd"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              ">>   ERROR: file 'b.cmd' is the dependency file and a command file\n"
              ">> FATAL ERROR: errors prevent conversion (aborting)\n");
}

// make runs khex again when the COFF file that only the command file names
// changes, and not otherwise.
TEST(DependencyFile, MakeRebuildsWhenTheCoffFileTheCommandFileNamesChanges)
{
    SKIP_FOR_WINDOWS_PROGRAM("make runs the Linux program");
    TempDir dir;
    dir.write("app.out", two_sections().build());
    dir.write("rom.cmd", "app.out -i ROMS { r: origin = 0, length = 0x200, files = { lo.hex, hi.hex } }\n");
    dir.write("Makefile", std::string("lo.hex hi.hex &: rom.cmd\n\t") + KHEX_BINARY +
                              " -q -werror -depfile rom.d rom.cmd\n-include rom.d\n");
    auto make = [&](bool question) {
        return run_program(dir, question ? std::vector<std::string>{"make", "-q"} : std::vector<std::string>{"make"})
            .status;
    };
    EXPECT_EQ(make(true), 1);  // nothing built yet
    ASSERT_EQ(make(false), 0);
    EXPECT_TRUE(dir.exists("lo.hex"));
    EXPECT_EQ(make(true), 0);  // up to date
    // the COFF file changes after the images were made
    struct stat st;
    ASSERT_EQ(stat(dir.file("lo.hex").c_str(), &st), 0);
    utimbuf earlier{st.st_mtime - 10, st.st_mtime - 10};
    for (const char* name : {"lo.hex", "hi.hex", "rom.cmd", "Makefile", "rom.d"})
        ASSERT_EQ(utime(dir.file(name).c_str(), &earlier), 0);
    EXPECT_EQ(make(true), 1);
    ASSERT_EQ(make(false), 0);
    EXPECT_EQ(make(true), 0);
}

// Python's json and jq read the report; its numbers agree with the output
// files as an independent reader decodes them.
const char CROSS_CHECK[] = R"(
import json, sys, zlib
report = json.load(open(sys.argv[1]))
assert report['format'] == 'khex-map' and report['version'] == 1, report
for r in report['ranges']:
    assert r['used_bytes'] + r['fill_bytes'] + r['free_bytes'] == r['length'], r
    entries = [e for e in r['contents'] if e['kind'] != 'fill']
    assert r['used_bytes'] == sum(e['size'] for e in entries), r
    assert r['fill_bytes'] == sum(e['size'] for e in r['contents'] if e['kind'] == 'fill'), r
    for f in r['files']:
        image = open(f['name'] + '.bin', 'rb').read()
        assert len(image) == f['last_address'] - f['first_address'] + 1, f
        if report['image']:
            data = image
        else:
            data = b''.join(image[e['start'] - f['first_address']:e['end'] - f['first_address'] + 1] for e in entries)
        assert f['data_bytes'] == len(data), (f, len(data))
        assert f['crc32'] == zlib.crc32(data), f
        assert f['sum32'] == sum(data) & 0xffffffff, f
print('agrees')
)";

TEST(JsonReport, AgreesWithTheDecodedFilesAndPassesStrictParsers)
{
    struct Case {
        const char* what;
        std::string roms;
        std::vector<std::string> options;
        std::vector<std::string> files;
    };
    const Case cases[] = {
        {"lanes in image mode",
         "ROMS { r: origin = 0, length = 0x200, romwidth = 8, memwidth = 16, files = { lo.hex, hi.hex } }\n",
         {"-image", "-romaddr", "-fill", "0xFFFF", "-checksum", "r,crc32"}, {"lo.hex", "hi.hex"}},
        {"one lane with gaps", "ROMS { a: origin = 0, length = 0x80, files = { a.hex }\n"
                               "       b: origin = 0x80, length = 0x180, files = { b.hex } }\n",
         {"-memwidth", "8", "-checksum", "b,sum16,holes=skip"}, {"a.hex", "b.hex"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        dir.write("app.out", two_sections().build());
        dir.write("r.cmd", c.roms);
        std::vector<std::string> args = {"-q", "-i", "-mapjson", "r.json"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.insert(args.end(), {"r.cmd", "app.out"});
        RunResult r = run_khex(dir, args);
        ASSERT_EQ(r.status, 0) << r.err;
        for (const std::string& f : c.files)
            dir.write(f + ".bin", objcopy_decode(dir, f, "ihex"));
        dir.write("check.py", CROSS_CHECK);
        RunResult check = run_program(dir, {"python3", "check.py", "r.json"});
        EXPECT_EQ(check.out, "agrees\n") << check.err;
        RunResult jq = run_program(dir, {"jq", "-e", "[.ranges[].files[].name] == $names", "--argjson", "names",
                                         "[\"" + c.files[0] + "\", \"" + c.files[1] + "\"]", "r.json"});
        EXPECT_EQ(jq.status, 0) << jq.out << jq.err;
    }
}

// The report's parts that the cross-check does not reach: the run's facts,
// a boot table's records as the table carries them (one for each record of a
// RAM-model .cinit, with the address it loads to), and unplaced sections.
TEST(JsonReport, BootTableRecordsAndUnplacedSections)
{
    TempDir dir;
    dir.write("app.out", coffgen::demo_program().build());
    dir.write("boot.cmd", "ROMS { boot_rom: origin = 0, length = 0x400 }\nSECTIONS { .text: boot .cinit: boot }\n");
    RunResult r = run_khex(dir, {"-q", "-serial16", "-e", "_c_int00", "-mapjson", "r.json", "boot.cmd", "app.out"});
    ASSERT_EQ(r.status, 0) << r.err;
    const char* query =
        "[.format, .image, .byte_order, .warnings, .errors, .output_format, (.ranges | length),"
        " (.ranges[0].contents[0] | .kind, .name, .start, (.records | map([.section, .dest, .size])))]"
        " | map(tostring) | join(\"|\")";
    RunResult jq = run_program(dir, {"jq", "-r", query, "r.json"});
    EXPECT_EQ(jq.out,
              "khex-map|false|LS|0|0|Extended Tektronix|1|boot_table|boot table|0|"
              "[[\".text\",0,96],[\".cinit\",512,4],[\".cinit\",528,2]]\n")
        << jq.err << dir.read("r.json");

    dir.write("far.cmd", "ROMS { r: origin = 0, length = 0x400 }\nSECTIONS { .text: .data: paddr = 0x9000 }\n");
    r = run_khex(dir, {"-q", "-mapjson", "r.json", "far.cmd", "app.out"});
    ASSERT_EQ(r.status, 0) << r.err;
    jq = run_program(dir, {"jq", "-c", ".unplaced, .warnings", "r.json"});
    EXPECT_EQ(jq.out, "[{\"name\":\".data\",\"reason\":\"lies in unconfigured memory\"}]\n1\n") << jq.err;
}

}  // namespace

namespace {

// The byte order of the target and the bytes each lane file carries: the
// memory words put back together from the lane files by word_bytes alone
// hold the section's bytes at their addresses, on both targets under -order
// MS and LS.
TEST(JsonReport, WordBytesPutTheMemoryWordsBackTogether)
{
    for (bool big : {false, true}) {
        for (const char* order : {"MS", "LS"}) {
            SCOPED_TRACE(std::string(big ? "big" : "little") + "-endian, -order " + order);
            TempDir dir;
            coffgen::Coff c;
            c.target_big_endian = big;
            c.sections = {{".text", 0, coffgen::pattern(0x40, 0x21), 0, coffgen::STYP_TEXT}};
            dir.write("app.out", c.build());
            dir.write("r.cmd", "ROMS { r: origin = 0, length = 0x40, romwidth = 8, memwidth = 16, "
                               "files = { f0.hex, f1.hex } }\n");
            ASSERT_EQ(run_khex(dir, {"-q", "-i", "-image", "-romaddr", "-order", order, "-mapjson", "r.json", "r.cmd",
                                     "app.out"})
                          .status,
                      0);
            RunResult jq = run_program(dir, {"jq", "-r", ".target_byte_order, (.ranges[0].files[] | .word_bytes[0])",
                                             "r.json"});
            EXPECT_EQ(jq.out.substr(0, jq.out.find('\n')), big ? "big" : "little");
            const int first = jq.out[jq.out.find('\n') + 1] - '0';  // the word byte of f0.hex
            const std::string f0 = objcopy_decode(dir, "f0.hex", "ihex");
            const std::string f1 = objcopy_decode(dir, "f1.hex", "ihex");
            std::string memory(0x40, '\0');
            for (size_t w = 0; w < 0x20; ++w) {
                memory[2 * w + static_cast<size_t>(first)] = f0[w];
                memory[2 * w + static_cast<size_t>(1 - first)] = f1[w];
            }
            const coffgen::Bytes expected = coffgen::pattern(0x40, 0x21);
            EXPECT_EQ(memory, std::string(expected.begin(), expected.end()));
        }
    }
}

// The README's CI gate names each range over 90 % with its use and fails;
// with none over, it says nothing and passes.
TEST(JsonReport, TheReadmesGateNamesEachFullRange)
{
    std::string readme;
    FILE* f = std::fopen(KHEX_SOURCE_DIR "/README.md", "r");
    ASSERT_NE(f, nullptr);
    for (int ch; (ch = std::fgetc(f)) != EOF;)
        readme += static_cast<char>(ch);
    std::fclose(f);
    const size_t at = readme.find("    ! jq -r '.ranges[]");
    ASSERT_NE(at, std::string::npos);
    const std::string gate = readme.substr(at + 4, readme.find('\n', at) - at - 4);
    TempDir dir;
    dir.write("app.out", two_sections().build());
    dir.write("r.cmd", "ROMS { full: origin = 0, length = 0x10 files = { a.hex }\n"
                       "       roomy: origin = 0x80, length = 0x1000 files = { b.hex } }\n");
    ASSERT_EQ(run_khex(dir, {"-q", "-i", "-memwidth", "8", "-mapjson", "rom.json", "r.cmd", "app.out"}).status, 0);
    RunResult r = run_program(dir, {"sh", "-c", gate});
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(r.out, "full is 100 % full\n");
    dir.write("r.cmd", "ROMS { roomy: origin = 0, length = 0x10000 files = { a.hex } }\n");
    ASSERT_EQ(run_khex(dir, {"-q", "-i", "-memwidth", "8", "-mapjson", "rom.json", "r.cmd", "app.out"}).status, 0);
    r = run_program(dir, {"sh", "-c", gate});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
}

}  // namespace
