// khex as a library: whole conversions inside one process, through khex.h.
#include "khex.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "coff_builder.h"
#include "runner.h"
#include "test_run.h"

namespace {

using khextest::read_all;
using khextest::TempDir;

struct Outcome {
    int status;
    std::string out, err;
    std::map<std::string, std::string> files;  // every file the run left, by name
    bool operator==(const Outcome&) const = default;
};

// A conversion in a folder of its own, named by absolute paths only: the
// working directory belongs to the whole process.
class Conversion {
public:
    Conversion(const coffgen::Coff& program, const std::string& command_file, std::vector<std::string> options)
    {
        dir_.write("app.out", program.build());
        std::string text = command_file;
        for (size_t at; (at = text.find("@/")) != std::string::npos;)
            text.replace(at, 1, dir_.path());
        dir_.write("app.cmd", text);
        inputs_ = {"app.out", "app.cmd"};
        args_ = {"khex"};
        for (std::string& o : options)
            args_.push_back(o.rfind("@/", 0) == 0 ? dir_.path() + o.substr(1) : o);
        args_.push_back(dir_.file("app.cmd"));
        args_.push_back(dir_.file("app.out"));
    }

    // Runs the conversion and takes what it wrote; then only the inputs remain.
    Outcome run() const
    {
        FILE* out = std::tmpfile();
        FILE* err = std::tmpfile();
        Outcome o{khex::run(args_, out, err), read_all(out), read_all(err), {}};
        std::fclose(out);
        std::fclose(err);
        for (const std::string& name : dir_.files()) {
            o.files[name] = dir_.read_bytes(name);
            if (!inputs_.count(name))
                std::remove(dir_.file(name).c_str());
        }
        return o;
    }

private:
    TempDir dir_;
    std::set<std::string> inputs_;
    std::vector<std::string> args_;
};

// Two different conversions give the same files and messages whether they run
// one after the other or side by side on two threads.
TEST(LibraryFace, TwoConversionsSideBySideAsOneAfterTheOther)
{
    coffgen::Coff program = coffgen::demo_program();
    program.sections[0].data = coffgen::pattern(0x6000, 3);  // a few pieces of the loader's buffer
    const Conversion lanes(program,
                           "ROMS { code: origin = 0, length = 0x100000, romwidth = 8, memwidth = 16,\n"
                           "              files = { \"@/code_lo.hex\", \"@/code_hi.hex\" } }\n",
                           {"-q", "-i", "-image", "-fill", "0xFFFF", "-map", "@/lanes.map", "-mapsvg", "@/lanes.svg"});
    const Conversion boot(program, "ROMS { boot_rom: origin = 0, length = 0x20000 }\n",
                          {"-boot", "-serial16", "-e", "_c_int00", "-m3", "-o", "@/boot.hex", "-map", "@/boot.map",
                           "-xyz"});

    const Outcome lanes_alone = lanes.run();
    const Outcome boot_alone = boot.run();
    EXPECT_EQ(lanes_alone.status, 0) << lanes_alone.err;
    EXPECT_EQ(boot_alone.status, 0) << boot_alone.err;
    EXPECT_EQ(lanes_alone.files.size(), 6u);  // the inputs, two lane files, the map and its picture
    EXPECT_EQ(boot_alone.files.size(), 4u);
    EXPECT_NE(boot_alone.err.find("invalid option: -xyz"), std::string::npos);
    EXPECT_NE(boot_alone.out.find("(BOOT LOAD)"), std::string::npos);

    for (int round = 0; round < 3; ++round) {
        Outcome lanes_beside, boot_beside;
        std::thread first([&] { lanes_beside = lanes.run(); });
        std::thread second([&] { boot_beside = boot.run(); });
        first.join();
        second.join();
        EXPECT_TRUE(lanes_beside == lanes_alone) << "round " << round;
        EXPECT_TRUE(boot_beside == boot_alone) << "round " << round;
    }
}

// Every way a run ends returns its status to the caller, with its texts on
// the streams it was given.
TEST(LibraryFace, EveryEndOfARunReturnsItsStatus)
{
    TempDir dir;
    coffgen::Coff program = coffgen::demo_program();
    program.sections[0].name = ".text_of_a_long_name";
    program.symbols.clear();  // no string table: the reader stops directly
    dir.write("long.out", program.build());
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string out_starts, err_holds;
    };
    const Case cases[] = {
        {{"khex"}, 1, "khex COFF to hex converter", ""},
        {{"khex", "-h"}, 1, "khex COFF to hex converter", ""},
        {{"khex", "--version"}, 0, "khex ", ""},
        {{"khex", dir.file("missing.out")}, 1, "", ">> FATAL ERROR: cannot open input file"},
        {{"khex", "-q", dir.file("long.out")}, khex::DIRECT_STOP_STATUS, "",
         "error reading COFF file - corrupted section header"},
    };
    for (const Case& c : cases) {
        FILE* out = std::tmpfile();
        FILE* err = std::tmpfile();
        EXPECT_EQ(khex::run(c.args, out, err), c.status) << c.args.back();
        EXPECT_EQ(read_all(out).rfind(c.out_starts, 0), 0u) << c.args.back();
        std::string message = read_all(err);
        EXPECT_EQ(message.empty(), c.err_holds.empty()) << message;
        EXPECT_NE(message.find(c.err_holds), std::string::npos) << message;
        std::fclose(out);
        std::fclose(err);
    }
}

}  // namespace
