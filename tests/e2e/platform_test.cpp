// What differs between Linux and Windows, checked on whichever platform the
// program under test is built for: line ends of output files, command files
// with either line end, paths, and wildcards in arguments.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>

#include "helpers.h"

using namespace khextest;

namespace {

bool windows()
{
    return testing_windows_program();
}

// A path of the test directory as the program under test spells it: Wine
// shows the Linux root as drive Z:.
std::string native_path(const TempDir& dir, const std::string& name)
{
    std::string path = dir.file(name);
    if (!windows())
        return path;
    std::replace(path.begin(), path.end(), '/', '\\');
    return "Z:" + path;
}

TEST(Platform, TextOutputUsesThePlatformLineEndAndBinaryOutputIsExact)
{
    TempDir dir;
    coffgen::Coff c;
    c.sections = {{".text", 0, {0x0A, 0x0D, 0x0A, 0x1A}, 0, coffgen::STYP_TEXT}};
    dir.write("app.out", c.build());
    auto r = run_khex(dir, {"-q", "-i", "-memwidth", "8", "app"});
    EXPECT_EQ(r.status, 0);
    std::string intel = ":040000000A0D0A1AC1\n:00000001FF\n";
    if (windows())
        intel = ":040000000A0D0A1AC1\r\n:00000001FF\r\n";
    EXPECT_EQ(dir.read_bytes("app.i00"), intel);

    r = run_khex(dir, {"-q", "-b", "app"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(dir.read_bytes("app.b00"), std::string("\x0A\x0D\x0A\x1A", 4));
}

TEST(Platform, CommandFilesWithEitherLineEnd)
{
    for (const char* end : {"\n", "\r\n"}) {
        TempDir dir;
        dir.write("app.out", small_program().build());
        std::string e = end;
        dir.write("c.cmd", "-q" + e + "-i" + e + "ROMS {" + e + "  r: o = 0x100, l = 0x200," + e + "     files = {" + e +
                               "        lo.hex hi.hex }" + e + "}" + e + "app.out" + e);
        auto r = run_khex(dir, {"c.cmd"});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(dir.read("lo.hex"), ":0401000010121416AF\n:02020000D0D25A\n:00000001FF\n")
            << "line end " << (e == "\n" ? "LF" : "CR LF");
    }
}

// Names with directories: a command file and the COFF file elsewhere, named
// with the platform's separators (and a drive letter on Windows); default
// output names drop the directory, so the files land in the current one.
TEST(Platform, PathsInCommandFilesAndOnTheCommandLine)
{
    TempDir dir;
    mkdir(dir.file("work").c_str(), 0700);
    dir.write("work/app.out", small_program().build());
    dir.write("work/link.cmd", "-q -i \"" + native_path(dir, "work/app") + "\"\n");
    auto r = run_khex(dir, {native_path(dir, "work/link.cmd")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(dir.exists("app.i00"));
    EXPECT_TRUE(dir.exists("app.i01"));

    r = run_khex(dir, {"-q", "-x", "-o", native_path(dir, "work/lo.x"), native_path(dir, "work/app")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(dir.exists("work/lo.x"));
    EXPECT_TRUE(dir.exists("app.x01"));
}

// Windows programs expand "*" and "?" in unquoted arguments themselves; on
// Linux the shell does, so khex takes such an argument as a name.
TEST(Platform, WildcardsInArguments)
{
    TempDir dir;
    dir.write("demo.out", small_program().build());
    dir.write("demx.out", small_program().build());
    dir.write("my app.out", small_program().build());

    auto r = run_khex(dir, {"-q", "-i", "demo.o?t"});
    if (windows()) {
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(dir.exists("demo.i00"));
    } else {
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err.find(">> FATAL ERROR: cannot open input file 'demo.o?t': "), 0u) << r.err;
    }

    // two matches: the second is a second COFF file
    r = run_khex(dir, {"-q", "-i", "dem*.out"});
    if (windows()) {
        EXPECT_EQ(r.status, 0);
        EXPECT_NE(r.err.find("WARNING: multiple COFF files: dem"), std::string::npos) << r.err;
    } else {
        EXPECT_EQ(r.err.find(">> FATAL ERROR: cannot open input file 'dem*.out': "), 0u) << r.err;
    }

    // no match, and a quoted argument (the blank makes the launcher quote
    // it): both stay as typed
    for (const char* pattern : {"nothing*.out", "my a*.out"}) {
        r = run_khex(dir, {"-q", "-i", pattern});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err.find(">> FATAL ERROR: cannot open input file '" + std::string(pattern) + "': "), 0u) << r.err;
    }
}

// "/?" alone is how a Windows console user asks for help; elsewhere, and
// with other arguments, it is a file argument as any other.
TEST(Platform, SlashQuestionMarkAloneAsksAWindowsProgramForHelp)
{
    TempDir dir;
    auto r = run_khex(dir, {"/?"});
    if (windows()) {
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find("Usage: khex [options] file...\n"), std::string::npos) << r.out;
        EXPECT_EQ(r.err, "");
    } else {
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err.find(">> FATAL ERROR: cannot open input file '/?.out': "), 0u) << r.err;
    }
    r = run_khex(dir, {"-q", "/?"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot open input file"), std::string::npos) << r.err;
}

}  // namespace
