// Names as users type them: a value that is or holds a file name is the whole
// argument on the command line, blanks included, and one value in double
// quotes in a command file; unquoted values without blanks are as before.
#include <gtest/gtest.h>

#include "helpers.h"

using namespace khextest;

namespace {

struct NameCase {
    const char* what;
    std::vector<std::string> options;  // a value written "..." in the command file
    const char* made;                  // the file the run writes or reads under its name
};

// Each case once on the command line and once in a command file; every name
// has a blank and a folder with a blank.
TEST(ValuesWithBlanks, AreOneValueOnTheCommandLineAndQuotedInCommandFiles)
{
    const NameCase cases[] = {
        {"-o", {"-o", "sub dir/lo x.hex", "-o", "sub dir/hi x.hex"}, "sub dir/hi x.hex"},
        {"a report", {"-mapjson", "sub dir/r j.json"}, "sub dir/r j.json"},
        {"a dependency file", {"-depfile", "sub dir/r d.d"}, "sub dir/r d.d"},
        {"an inserted file", {"-insert", "*DEFAULT*,sub dir/b b.bin,at=0x20", "-map", "m.map"}, "m.map"},
        {"a read-back", {"-verify", "app.i00=sub dir/rb x.bin"}, nullptr},
        {"-outputs", {"-outputs", "sub dir/lo x.hex,sub dir/hi x.hex", "-o", "sub dir/lo x.hex", "-o",
                      "sub dir/hi x.hex"}, "sub dir/lo x.hex"},
    };
    for (const NameCase& c : cases) {
        for (bool in_file : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (in_file ? ", in a command file" : ", on the command line"));
            TempDir dir;
            dir.write("app.out", small_program().build());
            ASSERT_EQ(run_program(dir, {"mkdir", "sub dir"}).status, 0);
            dir.write("sub dir/b b.bin", coffgen::Bytes{1, 2, 3, 4});
            // the first lane's device: .text's even bytes at 0x80, .data's at 0x100
            coffgen::Bytes readback(0x102);
            readback[0x80] = 0x10, readback[0x81] = 0x12, readback[0x82] = 0x14, readback[0x83] = 0x16;
            readback[0x100] = 0xD0, readback[0x101] = 0xD2;
            dir.write("sub dir/rb x.bin", readback);
            std::vector<std::string> args = {"-q", "-i"};
            if (in_file) {
                std::string text;
                for (size_t i = 0; i < c.options.size(); i += 2)
                    text += c.options[i] + " \"" + c.options[i + 1] + "\"\n";
                dir.write("n.cmd", text);
                args.push_back("n.cmd");
            } else {
                args.insert(args.end(), c.options.begin(), c.options.end());
            }
            args.push_back("app.out");
            RunResult r = run_khex(dir, args);
            EXPECT_EQ(r.status, 0) << r.err;
            EXPECT_EQ(r.err, "");
            if (c.made)
                EXPECT_TRUE(dir.exists(c.made));
            if (std::string(c.what) == "an inserted file")
                EXPECT_NE(dir.read("m.map").find("INSERT sub dir/b b.bin"), std::string::npos);
            if (std::string(c.what) == "a read-back")
                EXPECT_EQ(r.out, "verify app.i00: sub dir/rb x.bin matches (6 bytes)\n");
            EXPECT_FALSE(dir.exists("sub")) << "a name was cut at its blank";
        }
    }
}

// Unquoted values are read as before; a blank inside an unquoted list and an
// unclosed quote are errors of the command file's line.
TEST(ValuesWithBlanks, CommandFileValuesWithoutQuotesAndTheirErrors)
{
    TempDir dir;
    dir.write("app.out", small_program().build());
    dir.write("a.cmd", "-map plain.map -mapjson \"quoted.json\" /* comments stay comments */\n");
    RunResult r = run_khex(dir, {"-q", "a.cmd", "app.out"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(dir.exists("plain.map"));
    EXPECT_TRUE(dir.exists("quoted.json"));

    const std::pair<const char*, const char*> refusals[] = {
        {"-checksum *DEFAULT*,crc32,at=0x400, from=0 app.out\n",
         "\"b.cmd\", line 1:   ERROR: blank inside the value of -checksum: write "
         "\"*DEFAULT*,crc32,at=0x400,from=0app.out\" without blanks, or quote it\n"},
        {"-outputs a.hex ,b.hex\n",
         "\"b.cmd\", line 1:   ERROR: blank inside the value of -outputs: write \"a.hex,b.hex\" without blanks, or "
         "quote it\n"},
        {"-map \"open.map\n", "\"b.cmd\", line 1:   ERROR: the value of -map opens a quote that its line does not "
                              "close\n"},
    };
    for (const auto& [text, err] : refusals) {
        dir.write("b.cmd", text);
        r = run_khex(dir, {"-q", "b.cmd", "app.out"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(unwrapped(r.err), std::string(err) + ">> FATAL ERROR: errors prevent conversion (aborting)\n");
    }
}

}  // namespace
