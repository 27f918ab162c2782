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
        {"a record missing", 0, {}, {}, true, "found nothing"},
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
