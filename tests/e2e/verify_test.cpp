// -verify: read-backs that other tools make of each lane's device image are
// compared with the bytes khex would write; a verify run writes no output
// file and its verdict agrees with SRecord's srec_cmp.
#include <gtest/gtest.h>

#include "helpers.h"

using namespace khextest;
using coffgen::Bytes;

namespace {

std::string roms(uint32_t origin)
{
    return "ROMS { CODE: origin = " + std::to_string(origin) +
           ", length = 0x200, romwidth = 8, memwidth = 16, fill = 0xFFFF, files = { lo.hex, hi.hex } }\n"
           "SECTIONS { .text: paddr = " + std::to_string(origin) + " .data: paddr = " + std::to_string(origin + 0x100) +
           " }\n";
}

// A directory with the program, the command file, and each lane's device
// image as the reference run writes it (-romaddr -zero), decoded by objcopy.
struct Bench {
    TempDir dir;
    explicit Bench(uint32_t origin, bool image = true)
    {
        dir.write("demo.out", coffgen::demo_program().build());
        dir.write("r.cmd", roms(origin));
        std::vector<std::string> args = {"-q", "-i", "-romaddr"};
        if (image)
            args.insert(args.end(), {"-image", "-zero"});
        args.insert(args.end(), {"r.cmd", "demo.out"});
        EXPECT_EQ(run_khex(dir, args).status, 0);
        for (const char* lane : {"lo", "hi"}) {
            const std::string bytes = objcopy_decode(dir, std::string(lane) + ".hex", "ihex");
            dir.write(std::string(lane) + ".bin", Bytes(bytes.begin(), bytes.end()));
            std::rename(dir.file(std::string(lane) + ".hex").c_str(), dir.file(std::string(lane) + ".ref").c_str());
        }
    }
    RunResult verify(const std::vector<std::string>& pairs, std::vector<std::string> more = {})
    {
        std::vector<std::string> args = {"-q", "-i", "-image"};
        args.insert(args.end(), more.begin(), more.end());
        for (const std::string& p : pairs)
            args.insert(args.end(), {"-verify", p});
        args.insert(args.end(), {"r.cmd", "demo.out"});
        const std::vector<std::string> before = dir.files();
        RunResult r = run_khex(dir, args);
        EXPECT_EQ(dir.files(), before) << "a verify run wrote a file";
        return r;
    }
};

// Read-backs of every format, made by objcopy and SRecord from the device
// images, for a range at 0 and one at 0x100: they match.
TEST(Verify, ReadBacksOfTheDeviceImagesMatch)
{
    for (uint32_t origin : {0u, 0x100u}) {
        Bench b(origin);
        const std::vector<std::vector<std::string>> makers = {
            {"objcopy", "-I", "binary", "-O", "ihex", "lo.bin", "lo.rb"},
            {"objcopy", "-I", "binary", "-O", "srec", "lo.bin", "lo.rb"},
            {"srec_cat", "lo.bin", "-binary", "-o", "lo.rb", "-intel"},
            {"srec_cat", "lo.bin", "-binary", "-o", "lo.rb", "-tektronix-extended"},
            {"cp", "lo.bin", "lo.rb"},
        };
        for (const auto& make : makers) {
            SCOPED_TRACE(make[0] + " " + make[make.size() - 2] + " at " + std::to_string(origin));
            ASSERT_EQ(run_program(b.dir, make).status, 0);
            RunResult r = b.verify({"lo.hex=lo.rb", "hi.hex=hi.bin:BINARY"});
            EXPECT_EQ(r.status, 0) << r.err;
            EXPECT_EQ(r.out, "verify lo.hex: lo.rb matches (256 bytes)\nverify hi.hex: hi.bin matches (256 bytes)\n");
            // SRecord says the same of the read-back and the reference lane
            EXPECT_EQ(run_program(b.dir, {"srec_cmp", "lo.rb", make[0] == "cp" ? "-binary" : "-guess", "lo.ref",
                                          "-intel"})
                          .status,
                      0);
        }
    }
}

// Differences name the device and CPU address, the lane, the owner of the
// byte and both bytes; the status is 1 and srec_cmp agrees.
TEST(Verify, DifferencesAreNamedInTheProgramsOwnTerms)
{
    struct Case {
        const char* what;
        uint32_t origin;
        std::vector<std::string> more;  // options of the run
        std::vector<std::pair<size_t, uint8_t>> changes;  // of hi.bin
        bool drop_record;               // a record missing from an Intel read-back
        std::string out;
    };
    const Case cases[] = {
        {"a section's byte", 0x100, {}, {{0x12, 0x5B}}, false,
         "verify hi.hex: hi.rb differs in 1 of 256 bytes\n"
         "  device 0x000012 (cpu 0x000125, b8..b15, .text): expected {}, found 5b\n"},
        {"the fill", 0, {}, {{0xF0, 0x00}}, false,
         "verify hi.hex: hi.rb differs in 1 of 256 bytes\n"
         "  device 0x0000f0 (cpu 0x0001e1, b8..b15, fill): expected {}, found 00\n"},
        {"a checksum's slot", 0, {"-checksum", "CODE,crc32"}, {{0xFE, 0x00}, {0xFF, 0x00}}, false,
         "checksum"},
        {"a record missing", 0, {}, {}, true, "16 bytes missing"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bench b(c.origin);
        if (!c.more.empty()) {  // the reference with the checksum too
            std::vector<std::string> args = {"-q", "-i", "-romaddr", "-image", "-zero"};
            args.insert(args.end(), c.more.begin(), c.more.end());
            args.insert(args.end(), {"r.cmd", "demo.out"});
            ASSERT_EQ(run_khex(b.dir, args).status, 0);
            const std::string bytes = objcopy_decode(b.dir, "hi.hex", "ihex");
            b.dir.write("hi.bin", Bytes(bytes.begin(), bytes.end()));
            std::remove(b.dir.file("lo.hex").c_str());
            std::rename(b.dir.file("hi.hex").c_str(), b.dir.file("hi.ref").c_str());
        }
        std::string image = b.dir.read_bytes("hi.bin");
        // the expected byte is the device image's own
        std::string out = c.out;
        if (const size_t at = out.find("{}"); at != std::string::npos) {
            char digits[3];
            std::snprintf(digits, sizeof digits, "%02x", static_cast<unsigned char>(image[c.changes[0].first]));
            out.replace(at, 2, digits);
        }
        for (const auto& [at, byte] : c.changes)
            image[at] = static_cast<char>(byte);
        b.dir.write("hi.rb", Bytes(image.begin(), image.end()));
        if (c.drop_record) {
            ASSERT_EQ(run_program(b.dir, {"sh", "-c", "srec_cat hi.rb -binary -o - -intel | sed 3d > hi.hex2"})
                          .status,
                      0);
            std::rename(b.dir.file("hi.hex2").c_str(), b.dir.file("hi.rb").c_str());
        }
        RunResult r = b.verify({"hi.hex=hi.rb"}, c.more);
        EXPECT_EQ(r.status, 1) << r.err;
        if (c.out.find('\n') != std::string::npos)
            EXPECT_EQ(r.out, out);
        else
            EXPECT_NE(r.out.find(c.out), std::string::npos) << r.out;
        EXPECT_NE(run_program(b.dir, {"srec_cmp", "hi.rb", "-guess", "hi.ref", "-intel"}).status, 0);
    }
}

// What a programming station meets: runs of differences, all of them on
// request and in the JSON report, a read-back whose count record disagrees,
// and hints at the usual mistakes.
TEST(Verify, RunsLimitsAndHints)
{
    struct Case {
        const char* what;
        const char* make;                 // makes hi.rb from hi.bin, lo.bin and the reference files
        std::vector<std::string> more;    // options
        std::vector<std::string> lines;   // of standard output
        const char* runs;                 // jq: the JSON report's runs of the pair
    };
    const Case cases[] = {
        {"a missing record and a changed byte after it, one run listed",
         "printf '\\132' | dd of=hi.bin conv=notrunc bs=1 seek=128 2>/dev/null && "
         "srec_cat hi.bin -binary -exclude 0x20 0x30 -o hi.rb -intel",
         {"-verifylimit", "1"},
         {"verify hi.hex: hi.rb differs in 17 of 256 bytes",
          "  device 0x000020..0x00002f (cpu 0x000041, b8..b15, .text): 16 bytes missing",
          "  and 1 more run (1 byte)"},
         "[[32,47,\"missing\",16],[128,128,\"changed\",1]]"},
        {"all runs, and a Motorola count record that disagrees",
         "srec_cat hi.bin -binary -o hi.s -motorola && grep -v '^S1230020' hi.s > hi.rb",
         {"-verifylimit", "0"},
         {"verify hi.hex: hi.rb differs in 32 of 256 bytes (its count record says 8 data records, the file has 7 "
          "before it)",
          "  device 0x000020..0x00002f (cpu 0x000041, b8..b15, .text): 16 bytes missing",
          "  device 0x000030..0x00003f (cpu 0x000061, b8..b15, fill): 16 bytes missing"},
         "[[32,47,\"missing\",16],[48,63,\"missing\",16]]"},
        {"an empty read-back", ": > hi.rb", {},
         {"verify hi.hex: hi.rb differs in 256 of 256 bytes", "hint: the read-back hi.rb is empty"}, nullptr},
        {"the other lane", "cp lo.bin hi.rb", {},
         {"hint: hi.rb matches lo.hex, not hi.hex: wrong device?"}, nullptr},
        {"CPU addresses", "srec_cat hi.bin -binary -unsplit 2 0 -o hi.rb -intel", {},
         {"hint: hi.rb matches at the CPU addresses: write it with -romaddr, or verify with :output"}, nullptr},
        {"a changed byte", "printf '\\132' | dd of=hi.bin conv=notrunc bs=1 seek=128 2>/dev/null && cp hi.bin hi.rb",
         {}, {"  device 0x000080 (cpu 0x000101, b8..b15, .data): expected a1, found 5a"}, "[[128,128,\"changed\",1]]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bench b(0);
        ASSERT_EQ(run_program(b.dir, {"sh", "-c", std::string("mkdir report && ") + c.make}).status, 0);
        std::vector<std::string> more = c.more;
        more.insert(more.end(), {"-mapjson", "report/v.json"});
        RunResult r = b.verify({"hi.hex=hi.rb"}, more);
        EXPECT_EQ(r.status, 1) << r.err;
        for (const std::string& line : c.lines)
            EXPECT_NE(("\n" + r.out).find("\n" + line + "\n"), std::string::npos) << line << "\n" << r.out;
        if (c.runs) {
            RunResult jq = run_program(b.dir, {"jq", "-c", ".verify[0].runs | map([.first, .last, .kind, .count])",
                                               "report/v.json"});
            EXPECT_EQ(jq.out, std::string(c.runs) + "\n");
        }
    }
}

// A file khex wrote earlier verifies as it is with :output, with or without
// -romaddr, read-back and output being the same file.
TEST(Verify, KhexsOwnFilesVerifyAsTheyAreWithOutput)
{
    for (bool romaddr : {false, true}) {
        TempDir dir;
        dir.write("demo.out", coffgen::demo_program().build());
        dir.write("r.cmd", roms(0x100));
        std::vector<std::string> args = {"-q", "-m3"};
        if (romaddr)
            args.push_back("-romaddr");
        args.insert(args.end(), {"r.cmd", "demo.out"});
        ASSERT_EQ(run_khex(dir, args).status, 0);
        const std::string written = dir.read_bytes("lo.hex");
        args.insert(args.end() - 2, {"-verify", "lo.hex=lo.hex:output"});
        RunResult r = run_khex(dir, args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "verify lo.hex: lo.hex matches (80 bytes)\n");
        EXPECT_EQ(dir.read_bytes("lo.hex"), written);
    }
}

// Refusals before conversion; no file written.
TEST(Verify, BadPairsStopBeforeConversion)
{
    Bench b(0);
    b.dir.write("bad.hex", ":0100000000FF\n:0100010000FF\n");
    const std::pair<std::string, std::string> cases[] = {
        {"rom.hex=lo.bin", "verify 'rom.hex=lo.bin': the run writes no output file 'rom.hex'\n"
                           "            (its files: lo.hex, hi.hex)\n"},
        {"lo.hex=bad.hex", "bad.hex:2: wrong checksum\n"},
        {"lo.hex=none.bin", "none.bin: cannot open it: No such file or directory\n"},
    };
    for (const auto& [pair, err] : cases) {
        RunResult r = b.verify({pair});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, ">>   ERROR: " + err + ">> FATAL ERROR: errors prevent conversion (aborting)\n");
        EXPECT_EQ(r.out, "");
    }
}

}  // namespace
