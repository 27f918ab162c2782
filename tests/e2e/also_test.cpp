// -also: more sets of files from the one placement of a run, each the same
// bytes a run of its own writes; and -sections, what the executable holds and
// where the run would put it.
#include <gtest/gtest.h>

#include "helpers.h"

using namespace khextest;

namespace {

// 16-bit memory at 0x100..0x2ff: .text and .data of the demo program.
std::string roms(int romwidth)
{
    return "ROMS { CODE: origin = 0x100, length = 0x200, romwidth = " + std::to_string(romwidth) +
           ", memwidth = 16, fill = 0xA55A }\nSECTIONS { .text: paddr = 0x100 .data: paddr = 0x200 }\n";
}

// Each set's files are the files a run of that format and width writes by
// itself, with the same values, inserts and image mode.
TEST(Also, EachSetIsWhatItsOwnRunWrites)
{
    struct Case {
        const char* format_option;  // of the run of its own
        const char* word;           // of -also
        int romwidth;               // bits
        std::vector<std::string> options;
    };
    const Case cases[] = {
        {"-vmem", "vmem", 8, {"-image", "-checksum", "CODE,crc32"}},
        {"-carray", "carray", 16, {"-order", "LS"}},
        {"-b", "binary", 16, {"-image", "-insert", "CODE,blob.bin,at=0x180"}},
        {"-m3", "m3", 16, {"-order", "MS", "-field", "CODE,length,at=0x2f0"}},
        {"-x", "tektronix", 8, {"-romaddr", "-image", "-zero"}},
        {"-t", "zq", 16, {}},
        {"--d", "debug", 8, {"-reclen", "4"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.word);
        TempDir dir, own;
        for (const TempDir* d : {&dir, &own}) {
            d->write("demo.out", coffgen::demo_program().build());
            d->write("blob.bin", coffgen::pattern(16, 0xB0));
        }
        dir.write("main.cmd", roms(8));
        own.write("own.cmd", roms(c.romwidth));
        // -reclen is the Intel run's; the DEBUG files have no records to take it
        std::vector<std::string> args = {"-q", "-i", "-o", "lo.hex", "-o", "hi.hex", "-also",
                                         std::string(c.word) + ",romwidth=" + std::to_string(c.romwidth) +
                                             ",names=set%k.out"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.insert(args.end(), {"main.cmd", "demo.out"});
        RunResult r = run_khex(dir, args);
        ASSERT_EQ(r.status, 0) << r.err;
        // the same names, for the formats that write them into the files
        args = {"-q", c.format_option, "-o", "set0.out", "-o", "set1.out"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        if (std::string(c.word) == "debug")
            args.resize(args.size() - 2);
        args.insert(args.end(), {"own.cmd", "demo.out"});
        r = run_khex(own, args);
        ASSERT_EQ(r.status, 0) << r.err;
        for (const char* name : {"set0.out", "set1.out"}) {
            EXPECT_EQ(dir.exists(name), own.exists(name)) << name;
            if (own.exists(name)) {
                EXPECT_EQ(dir.read_bytes(name), own.read_bytes(name)) << name;
            }
        }
    }
}

// Names from each token of a pattern, in folders khex makes; and the names
// it refuses, before any file is written.
TEST(Also, NamesFromPatternsAndTheirRefusals)
{
    TempDir dir;
    dir.write("demo.out", coffgen::demo_program().build());
    dir.write("r.cmd", roms(8));
    RunResult r = run_khex(dir, {"-q", "-i", "-o", "lo.hex", "-o", "hi.hex", "-also", "vmem,names=hdl dir/%r_%k.mem",
                                 "-also", "x,names=%n.x", "-also", "a,CODE,names=copy of %f", "-also",
                                 "carray,romwidth=16,names=100%%.c", "-mapjson", "r.json", "-depfile", "r.d",
                                 "r.cmd", "demo.out"});
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* name : {"hdl dir/CODE_0.mem", "hdl dir/CODE_1.mem", "lo.x", "hi.x", "copy of lo.hex",
                             "copy of hi.hex", "100%.c"})
        EXPECT_TRUE(dir.exists(name)) << name;
    RunResult jq = run_program(dir, {"jq", "-c", "[.ranges[0].files[] | [.name, .set, .format, .whole_words]]",
                                     "r.json"});
    EXPECT_EQ(jq.out, "[[\"lo.hex\",0,\"Intel\",false],[\"hi.hex\",0,\"Intel\",false],"
                      "[\"hdl dir/CODE_0.mem\",1,\"Verilog memory\",false],"
                      "[\"hdl dir/CODE_1.mem\",1,\"Verilog memory\",false],[\"lo.x\",2,\"Extended Tektronix\",false],"
                      "[\"hi.x\",2,\"Extended Tektronix\",false],[\"copy of lo.hex\",3,\"ASCII-Hex\",false],"
                      "[\"copy of hi.hex\",3,\"ASCII-Hex\",false],[\"100%.c\",4,\"C array\",true]]\n");
    EXPECT_EQ(dir.read("r.d").substr(0, dir.read("r.d").find(':')),
              "lo.hex hi.hex hdl\\ dir/CODE_0.mem hdl\\ dir/CODE_1.mem lo.x hi.x copy\\ of\\ lo.hex "
              "copy\\ of\\ hi.hex 100%.c r.json");

    const std::pair<std::vector<std::string>, std::string> refusals[] = {
        {{"-also", "vmem,romwidth=16,names=%n.mem"},
         "-also 'vmem,romwidth=16,names=%n.mem': %n names the run's own file of the same index, but the set splits "
         "range 'CODE' into 1 file of 16 bits, the run into 2 of 8"},
        {{"-also", "vmem,names=a%k", "-also", "mif,names=a%k"},
         "file 'a0' is output file 0 of range 'CODE' of -also 'vmem,names=a%k' and output file 0 of range 'CODE' of "
         "-also 'mif,names=a%k'"},
        {{"-also", "b,romwidth=16,names=demo.out"},
         "file 'demo.out' is output file 0 of range 'CODE' of -also 'b,romwidth=16,names=demo.out' and the COFF file"},
        {{"-also", "coe,romwidth=64"}, "-also 'coe,romwidth=64': COE files cannot carry ROM words of 64 bits (range "
                                       "'CODE')"},
    };
    for (const auto& [options, message] : refusals) {
        TempDir bad;
        bad.write("demo.out", coffgen::demo_program().build());
        bad.write("r.cmd", roms(8));
        std::vector<std::string> args = {"-q", "-i"};
        args.insert(args.end(), options.begin(), options.end());
        args.insert(args.end(), {"r.cmd", "demo.out"});
        r = run_khex(bad, args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(unwrapped(r.err).find(">>   ERROR: " + message + "\n"), 0u) << r.err;
        EXPECT_EQ(bad.files(), (std::vector<std::string>{"demo.out", "r.cmd"}));
    }
}

// -outputs declares and -verify reads back the files of any set; the map
// lists them with the bits they carry and their format.
TEST(Also, SetFilesInTheMapOutputsAndVerify)
{
    TempDir dir;
    dir.write("demo.out", coffgen::demo_program().build());
    dir.write("r.cmd", roms(8));
    const std::vector<std::string> base = {"-q", "-i", "-image", "-o", "lo.hex", "-o", "hi.hex", "-also",
                                           "b,romwidth=16,names=words.bin"};
    std::vector<std::string> args = base;
    args.insert(args.end(), {"-map", "r.map", "-outputs", "lo.hex,hi.hex,words.bin,r.map", "r.cmd", "demo.out"});
    RunResult r = run_khex(dir, args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(dir.read("r.map").find("   OUTPUT FILES: lo.hex [b0..b7]\n"
                                     "                 hi.hex [b8..b15]\n"
                                     "                 words.bin [b0..b15]  Binary\n"),
              std::string::npos);
    // the whole memory as a binary: a byte of .text changed in a copy
    std::string image = dir.read_bytes("words.bin");
    image[5] = static_cast<char>(image[5] ^ 0xFF);
    dir.write("rb.bin", coffgen::Bytes(image.begin(), image.end()));
    args = base;
    args.insert(args.end(), {"-verify", "words.bin=words.bin", "-verify", "words.bin=rb.bin", "r.cmd", "demo.out"});
    r = run_khex(dir, args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "verify words.bin: words.bin matches (512 bytes)\n"
                     "verify words.bin: rb.bin differs in 1 of 512 bytes\n"
                     "  device 0x000005 (cpu 0x000104, b0..b15, .text): expected 58, found a7\n");
}

// -sections lists every section with its kind and where the run would put
// it, with and without a command file, and converts nothing; the places are
// those the map shows after a conversion.
TEST(Sections, ListWhatTheExecutableHoldsAndWhereItWouldGo)
{
    TempDir dir;
    coffgen::Coff c = coffgen::demo_program();
    c.sections.push_back({".init", 0x400, coffgen::pattern(8), 0, coffgen::STYP_TEXT});
    dir.write("demo.out", c.build());
    dir.write("r.cmd", "-bootorg 0x1c0\n"
                       "ROMS { CODE: origin = 0, length = 0x200  DATA: origin = 0x200, length = 0x100 }\n"
                       "SECTIONS { .text .data .cinit .init: boot }\n");
    RunResult r = run_khex(dir, {"-sections", "demo.out"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "demo.out: little-endian target, device 7734, entry point 0x00000010\n\n"
              "section  page  load        run         size        kind              selected\n"
              ".text       0  0x00000000  0x00000000  0x00000060  initialised       yes, at 0x00000000 in range "
              "'*DEFAULT*'\n"
              ".data       0  0x00000100  0x00000100  0x00000040  initialised       yes, at 0x00000100 in range "
              "'*DEFAULT*'\n"
              ".cinit      0  0x00000180  0x00000180  0x00000014  RAM-model .cinit  yes, at 0x00000200 in range "
              "'*DEFAULT*'\n"
              ".bss        0  0x00000200  0x00000200  0x00000020  uninitialised     no\n"
              ".init       0  0x00000400  0x00000400  0x00000008  initialised       yes, at 0x00000400 in range "
              "'*DEFAULT*'\n");
    r = run_khex(dir, {"-q", "-symbols", "-mapjson", "s.json", "-map", "s.map", "r.cmd", "demo.out"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(".init       0  0x00000400  0x00000400  0x00000008  initialised       yes, into the boot "
                         "table at 0x000001c0\n"),
              std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\nsymbol             address     section\n_c_int00           0x00000010  .text\n"),
              std::string::npos) << r.out;
    EXPECT_EQ(dir.files(), (std::vector<std::string>{"demo.out", "r.cmd", "s.json"}));
    RunResult jq = run_program(dir, {"jq", "-c", "[.sections[] | [.name, .kind, .selected, .boot, .range]]",
                                     "s.json"});
    EXPECT_EQ(jq.out, "[[\".text\",\"initialised\",true,false,\"CODE\"],[\".data\",\"initialised\",true,false,"
                      "\"CODE\"],[\".cinit\",\"RAM-model .cinit\",true,false,\"DATA\"],[\".bss\",\"uninitialised\","
                      "false,false,null],[\".init\",\"initialised\",true,true,null]]\n");
    // the map of the conversion puts each section where the listing said
    r = run_khex(dir, {"-q", "-map", "c.map", "r.cmd", "demo.out"});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string map = dir.read("c.map");
    EXPECT_NE(map.find("   CONTENTS: 00000000..0000005f   .text\n"
                       "             00000100..0000013f   .data\n"
                       "             000001c0..000001db   BOOT TABLE\n"
                       "                            .init : dest=00000400"), std::string::npos) << map;
    EXPECT_NE(map.find("\"DATA\"\n--------------------------------------------------------------------------------\n"
                       "   OUTPUT FILES: demo.x10 [b0..b7]\n                 demo.x11 [b8..b15]\n\n"
                       "   CONTENTS: 00000200..00000211   .cinit\n"), std::string::npos) << map;
}

}  // namespace
