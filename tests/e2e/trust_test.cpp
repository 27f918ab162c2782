// Files a build can trust: output appears whole or not at all, no file of the
// run is written twice or over an input, and the conventions users type by
// habit (--help, --version, -werror).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "helpers.h"

using namespace khextest;

namespace {

const std::string EARLIER = "an earlier good file\n";

coffgen::Coff one_section(size_t size)
{
    coffgen::Coff c;
    c.sections = {{".text", 0, coffgen::pattern(size), 0, coffgen::STYP_TEXT}};
    return c;
}

TEST(WholeFiles, AnInterruptedConversionLeavesNoFileAndKeepsTheEarlierOne)
{
    SKIP_FOR_WINDOWS_PROGRAM("Wine does not turn SIGINT into a console event for the program");
    TempDir dir;
    dir.write("app.out", one_section(16).build());
    dir.write("big.cmd", "ROMS { r: o = 0 l = 0x10000000 }\n");  // 256 MiB of image fill
    dir.write("app.i0", EARLIER);
    RunConditions conditions;
    conditions.interrupt_when = [&dir] {
        for (const std::string& name : dir.files()) {
            struct stat st;
            if (name.find(".khex-") == 0 && stat(dir.file(name).c_str(), &st) == 0 && st.st_size > (1 << 20))
                return true;
        }
        return false;
    };
    auto r = run_khex_under(dir, {"-q", "-i", "-image", "-memwidth", "8", "big.cmd", "app"}, conditions);
    EXPECT_EQ(r.status, 128 + SIGINT);
    EXPECT_EQ(dir.files(), (std::vector<std::string>{"app.i0", "app.out", "big.cmd"}));
    EXPECT_EQ(dir.read("app.i0"), EARLIER);
}

TEST(WholeFiles, AWriteFailureHalfWayLeavesNoFileAndKeepsTheEarlierOne)
{
    SKIP_FOR_WINDOWS_PROGRAM("file size limits are a Linux facility");
    TempDir dir;
    dir.write("app.out", one_section(1 << 20).build());
    dir.write("app.i00", EARLIER);
    RunConditions conditions;
    conditions.file_size_limit = 1 << 21;  // the COFF file fits; the Intel text does not
    auto r = run_khex_under(dir, {"-q", "-i", "-memwidth", "8", "-map", "app.map", "app"}, conditions);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, ">> FATAL ERROR: error writing output file 'app.i00': File too large (aborting)\n");
    EXPECT_EQ(dir.files(), (std::vector<std::string>{"app.i00", "app.out"}));
    EXPECT_TRUE(dir.read("app.i00") == EARLIER);  // not the whole file on failure

    // the same for a file of an -also set, written on a thread of its own,
    // in a folder khex made for it: no file, no folder
    r = run_khex_under(dir, {"-q", "-b", "-also", "vmem,*DEFAULT*,names=hdl/%k.mem", "app"}, conditions);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, ">> FATAL ERROR: error writing output file 'hdl/0.mem': File too large (aborting)\n");
    EXPECT_EQ(dir.files(), (std::vector<std::string>{"app.i00", "app.out"}));
}

TEST(WholeFiles, DevicesAreWrittenDirectly)
{
    SKIP_FOR_WINDOWS_PROGRAM("/dev/null is a Linux device");
    TempDir dir;
    dir.write("app.out", one_section(4).build());
    auto r = run_khex(dir, {"-q", "-i", "-memwidth", "8", "-o", "/dev/null", "-map", "/dev/null", "app"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    struct stat st;
    ASSERT_EQ(stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    EXPECT_EQ(dir.files(), (std::vector<std::string>{"app.out"}));
}

// Each clash stops the run before anything is written, and the inputs stay.
TEST(NoOverwrites, AFileOfTheRunIsNeverWrittenTwiceOrOverAnInput)
{
    struct Case {
        const char* command_file;
        std::vector<std::string> options;
        const char* error;
    };
    const char* const TWO_RANGES = "ROMS { a: o = 0 l = 0x100 files = { x.hex }  b: o = 0x100 l = 0x100 ";
    const Case cases[] = {
        {"", {"-o", "x.hex", "-o", "x.hex"},
         "file 'x.hex' is output file 0 of range '*DEFAULT*' and output file 0 of range '*DEFAULT PAGE 1*'"},
        {"", {"-o", "x.hex", "-o", "./sub/../x.hex"},
         "file 'x.hex' is output file 0 of range '*DEFAULT*' and output file 0 of range '*DEFAULT PAGE 1*'"},
        {"files = { x.hex } }", {}, "file 'x.hex' is output file 0 of range 'a' and output file 0 of range 'b'"},
        {"}", {"-o", "x.hex"}, "file 'x.hex' is output file 0 of range 'a' and output file 0 of range 'b'"},
        {"}", {"-o", "app.out"}, "file 'app.out' is output file 0 of range 'b' and the COFF file"},
        {"}", {"-o", "alias.hex"}, "file 'alias.hex' is output file 0 of range 'b' and the COFF file"},
        {"}", {"-map", "c.cmd"}, "file 'c.cmd' is the map file and a command file"},
        {"}", {"-map", "x.hex"}, "file 'x.hex' is output file 0 of range 'a' and the map file"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        mkdir(dir.file("sub").c_str(), 0700);
        coffgen::Bytes coff = one_section(4).build();
        dir.write("app.out", coff);
        link(dir.file("app.out").c_str(), dir.file("alias.hex").c_str());
        std::string roms = *c.command_file ? TWO_RANGES + std::string(c.command_file) + "\n" : "/* defaults */\n";
        dir.write("c.cmd", roms);
        std::vector<std::string> args{"-q", "-memwidth", "8", "c.cmd"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.push_back("app");
        auto r = run_khex(dir, args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(unwrapped(r.err),
                  ">>   ERROR: " + std::string(c.error) + "\n>> FATAL ERROR: errors prevent conversion (aborting)\n");
        EXPECT_EQ(dir.files(), (std::vector<std::string>{"alias.hex", "app.out", "c.cmd", "sub"})) << c.error;
        EXPECT_EQ(dir.read_bytes("app.out"), std::string(coff.begin(), coff.end()));
        EXPECT_EQ(dir.read("c.cmd"), roms);
    }
}

TEST(Habits, HelpAndVersion)
{
    TempDir dir;
    auto r = run_khex(dir, {"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.find("Usage: khex [options] file...\n"), 109u) << r.out;
    EXPECT_NE(r.out.find("\n  -checksum range,algorithm"), std::string::npos);
    // inside a command file it does the same
    dir.write("help.cmd", "-q\n--help\n");
    auto in_file = run_khex(dir, {"help.cmd"});
    EXPECT_EQ(in_file.status, 0);
    EXPECT_EQ(in_file.out, r.out);
    // -h keeps the classic text
    r = run_khex(dir, {"-h"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Usage: khex [-options | -h] filename\n\nOptions:\n"), std::string::npos);
    r = run_khex(dir, {"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "khex " KHEX_VERSION "\n");
    EXPECT_EQ(r.err, "");
    // other two-dash words keep their meaning: --verbose is --v
    dir.write("app.out", small_program().build());
    r = run_khex(dir, {"-q", "--verbose", "app"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("sections, unswapped format"), std::string::npos) << r.out;
}

TEST(Habits, WerrorMakesWarningsFail)
{
    TempDir dir;
    dir.write("app.out", small_program().build());
    auto r = run_khex(dir, {"-q", "-intel", "-werror", "app"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              ">> WARNING: invalid option: -intel\n"
              ">> FATAL ERROR: errors prevent conversion (aborting)\n");
    EXPECT_EQ(dir.files(), std::vector<std::string>{"app.out"});

    r = run_khex(dir, {"-q", "-i", "-werror", "app"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(dir.exists("app.i00"));
}

// A warning late in the run fails it under -werror, and then no file appears
// or changes: make must not take the files for a result.
TEST(Habits, AFailedWerrorRunWritesNothing)
{
    TempDir dir;
    coffgen::Coff c = small_program();
    c.sections[1].vaddr = 0x104;  // .data overlaps .text: a warning while converting
    dir.write("app.out", c.build());
    dir.write("app.i00", std::string("old lane 0\n"));
    dir.write("app.map", std::string("old map\n"));
    auto r = run_khex(dir, {"-q", "-i", "-werror", "-map", "app.map", "-mapsvg", "app.svg", "-mapjson", "app.json",
                            "-depfile", "app.d", "app"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              ">> WARNING: section '.data' at 0104h overlaps .text (.data incomplete or\n"
              "            skipped)\n");
    EXPECT_EQ(dir.files(), (std::vector<std::string>{"app.i00", "app.map", "app.out"}));
    EXPECT_EQ(dir.read("app.i00"), "old lane 0\n");
    EXPECT_EQ(dir.read("app.map"), "old map\n");
    // without -werror the same run writes its files, with status 0
    r = run_khex(dir, {"-q", "-i", "-map", "app.map", "app"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(dir.read("app.i00"), "old lane 0\n");
}

}  // namespace
