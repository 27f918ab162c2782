// COFF input end to end: header versions and byte orders, optional headers,
// names, the symbol pass, section selection and malformed files.
#include <gtest/gtest.h>

#include "helpers.h"

using namespace khextest;
using coffgen::Bytes;
using coffgen::Coff;

namespace {

const std::string SMALL_DEBUG = debug_file(
    "ADDR:00000100: DATA:10 11 12 13 14 15 16 17 :END:\n"
    "ADDR:00000200: DATA:D0 D1 D2 D3 :END:\n");

const std::string SMALL_PROGRESS =
    "Translating app.out to DEBUG format...\n"
    "   \"app.out\"   ==> .text\n"
    "   \"app.out\"   ==> .data\n";

// Converts to one-lane DEBUG output; returns the run and leaves app.d00 in dir.
RunResult convert_debug(const TempDir& dir, const Bytes& file, std::vector<std::string> extra = {})
{
    dir.write("app.out", file);
    std::vector<std::string> args{"--d", "-memwidth", "8"};
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back("app");
    return run_khex(dir, args);
}

TEST(CoffHeaders, EveryVersionInEitherByteOrderReadsTheSame)
{
    for (uint16_t version : {0x00C0, 0x009C, 0x00C1, 0x00C2}) {
        for (bool big : {false, true}) {
            TempDir dir;
            Coff c = small_program();
            c.version = version;
            c.big_endian_headers = big;
            auto r = convert_debug(dir, c.build(), {"--v"});
            SCOPED_TRACE(testing::Message() << "version " << std::hex << version << (big ? " big" : " little"));
            EXPECT_EQ(r.status, 0);
            EXPECT_EQ(r.err, "");
            EXPECT_EQ(dir.read("app.d00"), SMALL_DEBUG);
            std::string summary = std::string("   3 sections, ") + (big ? "swapped" : "unswapped") +
                                  " format, little-E data\n   No relocation\n";
            EXPECT_NE(r.out.find(summary), std::string::npos) << r.out;
        }
    }
}

TEST(CoffHeaders, VerboseTraceOfTheLoad)
{
    TempDir dir;
    Coff c = small_program();
    c.force_string_table = true;
    auto r = convert_debug(dir, c.build(), {"--v"});
    EXPECT_EQ(r.out,
              "   2 symbols.  String table size=0\n"
              "Translating app.out to DEBUG format...\n"
              "   3 sections, unswapped format, little-E data\n"
              "   No relocation\n"
              "   \"app.out\"   ==> .text.   \"app.out\"   ==> .data.");
}

TEST(CoffHeaders, WrongTargetIdIsWrongMagic)
{
    TempDir dir;
    Coff c = small_program();
    c.target_id = 0x0093;
    auto r = convert_debug(dir, c.build());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, ">> FATAL ERROR: COFF file has wrong magic number (aborting)\n");
    EXPECT_FALSE(dir.exists("app.d00"));
    // version 0 has no target id to check
    c.version = 0x00C0;
    r = convert_debug(dir, c.build());
    EXPECT_EQ(r.status, 0);
}

TEST(CoffHeaders, OptionalHeaderOnlyAtSize28)
{
    for (uint16_t size : {0, 40}) {
        TempDir dir;
        Coff c = small_program();
        c.entry_point = 0x8000;
        c.optional_header_size = size;
        dir.write("app.out", c.build());
        auto r = run_khex(dir, {"-q", "-memwidth", "8", "app"});
        EXPECT_EQ(r.status, 0) << r.err;
        // the termination record carries the entry point: 0 without a header
        std::string x = dir.read("app.x00");
        EXPECT_EQ(x.substr(x.size() - 16), "%0E81E800000000\n") << x;
    }
    TempDir dir;
    Coff c = small_program();
    c.entry_point = 0x8000;
    dir.write("app.out", c.build());
    run_khex(dir, {"-q", "-memwidth", "8", "app"});
    std::string x = dir.read("app.x00");
    EXPECT_EQ(x.substr(x.size() - 16), "%0E826800008000\n");
}

TEST(CoffNames, LongAndEightCharacterSectionNames)
{
    TempDir dir;
    Coff c = small_program();
    c.sections[0].name = ".text_of_a_long_name";
    c.sections[1].name = ".data123";
    auto r = convert_debug(dir, c.build());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "Translating app.out to DEBUG format...\n"
              "   \"app.out\"   ==> .text_of_a_long_name\n"
              "   \"app.out\"   ==> .data123\n");
}

TEST(CoffNames, LongSectionNameWithoutStringTableEndsTheProgram)
{
    TempDir dir;
    Coff c = small_program();
    c.sections[0].name = ".text_of_a_long_name";
    c.symbols.clear();  // no symbols: no string table is looked for
    auto r = convert_debug(dir, c.build());
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, "error reading COFF file - corrupted section header");
    EXPECT_EQ(r.out, "");
}

TEST(CoffNames, EmptyStringTableCountsAsNone)
{
    TempDir dir;
    Coff c = small_program();
    c.force_string_table = true;
    Bytes file = c.build();
    file.resize(c.string_table_offset + 4);  // length field 4: no names
    auto r = convert_debug(dir, file);
    EXPECT_EQ(r.status, 0);
    // a long name then has no table to come from
    Bytes bad = file;
    for (int i = 0; i < 4; ++i)
        bad[c.section_table_offset + i] = 0;
    r = convert_debug(dir, bad);
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, "error reading COFF file - corrupted section header");
}

// Files that are cut short or hold impossible values end with a FATAL message.
struct Malformed {
    bool long_names;  // damage to the string table needs names that use it
    const char* what;
    std::function<void(Bytes&, const Coff&)> damage;
    const char* message;
};

TEST(CoffMalformed, EachDamageEndsWithItsMessage)
{
    Coff plain = small_program();
    const Bytes plain_file = plain.build();
    Coff named = small_program();
    named.symbols.push_back({"_a_symbol_with_a_long_name", 0x100});
    named.sections[1].name = ".data_with_long_name";
    const Bytes named_file = named.build();
    const std::vector<Malformed> cases = {
        {false, "file header", [](Bytes& f, const Coff&) { f.resize(12); }, "error reading COFF file"},
        {false, "optional header", [](Bytes& f, const Coff&) { f.resize(30); }, "error reading COFF file"},
        {false, "section table",
         [](Bytes& f, const Coff& k) { f.resize(k.section_table_offset + 60); },
         "error reading COFF file"},
        {false, "raw data",
         [](Bytes& f, const Coff& k) {
             coffgen::put32(f, 12, 0, false);  // no symbols, so the section data is read
             f.resize(k.data_offsets[1] + 2);
         },
         "error reading COFF file"},
        {true, "string table names",
         [](Bytes& f, const Coff& k) { f.resize(k.string_table_offset + 10); },
         "error reading COFF file"},
        {false, "symbol table",
         [](Bytes& f, const Coff& k) {
             // a symbol table cut short also hides the string table; names are short here
             f.resize(k.symbol_table_offset + 20);
         },
         "symbol read error"},
        {true, "string table length below 4",
         [](Bytes& f, const Coff& k) { coffgen::put32(f, k.string_table_offset, 3, false); },
         "COFF file has a string table length below 4"},
        {true, "string table length past the end",
         [](Bytes& f, const Coff& k) { coffgen::put32(f, k.string_table_offset, 0x7FFFFFF0, false); },
         "error reading COFF file"},
        {true, "section name offset below 4",
         [](Bytes& f, const Coff& k) { coffgen::put32(f, k.section_table_offset + 48 + 4, 2, false); },
         "COFF file names a string outside its string table"},
        {true, "section name offset past the table",
         [](Bytes& f, const Coff& k) { coffgen::put32(f, k.section_table_offset + 48 + 4, 5000, false); },
         "COFF file names a string outside its string table"},
        {true, "symbol name offset past the table",
         [](Bytes& f, const Coff& k) { coffgen::put32(f, k.symbol_table_offset + 2 * 18 + 4, 5000, false); },
         "COFF file names a string outside its string table"},
        {false, "negative symbol count", [](Bytes& f, const Coff&) { coffgen::put32(f, 12, 0xFFFFFFF0, false); },
         "COFF file has a corrupted symbol table"},
        {false, "symbol table past the end", [](Bytes& f, const Coff&) { coffgen::put32(f, 8, 0x7FFF0000, false); },
         "symbol read error"},
        {false, "auxiliary count of 128",
         [](Bytes& f, const Coff& k) { f[k.symbol_table_offset + 17] = 128; },
         "COFF file has a corrupted symbol table"},
        {false, "section data past the end",
         [](Bytes& f, const Coff& k) { coffgen::put32(f, k.section_table_offset + 20, 0x7FFFFFF0, false); },
         "error reading COFF file"},
        {false, "65535 sections", [](Bytes& f, const Coff&) { coffgen::put16(f, 2, 65535, false); },
         "error reading COFF file"},
    };
    for (const Malformed& m : cases) {
        SCOPED_TRACE(m.what);
        TempDir dir;
        Bytes file = m.long_names ? named_file : plain_file;
        m.damage(file, m.long_names ? named : plain);
        auto r = convert_debug(dir, file);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, ">> FATAL ERROR: " + std::string(m.message) + " (aborting)\n");
    }
}

TEST(CoffMalformed, RealFileWith65535SectionsConverts)
{
    TempDir dir;
    Coff c;
    c.optional_header_size = 0;
    for (int i = 0; i < 65535; ++i) {
        std::string name = "s";
        name += std::to_string(i);
        c.sections.push_back({name, static_cast<uint32_t>(2 * i), {static_cast<uint8_t>(i), 0}, 0, coffgen::STYP_DATA});
    }
    dir.write("app.out", c.build());
    auto r = run_khex(dir, {"-q", "-i", "-memwidth", "8", "app"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    std::string bytes = objcopy_decode(dir, "app.i00", "ihex");
    ASSERT_EQ(bytes.size(), 2u * 65535u);
    EXPECT_EQ(static_cast<uint8_t>(bytes[2 * 300]), 300 % 256);
}

TEST(Symbols, TracesDuplicatesAndAuxiliaryEntries)
{
    TempDir dir;
    Coff c = small_program();
    c.symbols = {
        {"_main", 0x104, 1, 2, 2},  // two auxiliary entries follow
        {"_main", 0x104},           // same name and value: dropped
        {"_main", 0x108, 1, 5},     // same name, new value: kept, found first
        {"$local", 0x10, 1, 3},
        {"_eightch", 0x200},
    };
    auto r = convert_debug(dir, c.build(), {"--s", "-q"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "Adding symbol _main          , type C_EXT, address 0x000104, index 1952\n"
              "Adding symbol _main          , type C_EXTREF, address 0x000108, index 1952\n"
              "Skip   symbol $local         , type 3\n"
              "Adding symbol _eightch       , type C_EXT, address 0x000200, index 62\n");
}

// The entry point shows in the map's boot loader parameters.
std::string entry_line(const TempDir& dir)
{
    std::string map = dir.read("m.map");
    size_t at = map.find("   Entry Point:");
    return at == std::string::npos ? "" : map.substr(at, map.find('\n', at) - at);
}

TEST(Symbols, EntryPointByNameTheLastDefinitionWins)
{
    TempDir dir;
    Coff c = small_program();
    c.symbols = {{"_main", 0x104}, {"_main", 0x108}, {"_Start", 0x100}};
    auto r = convert_debug(dir, c.build(), {"-q", "-boot", "-e", "_main", "-map", "m.map"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(entry_line(dir), "   Entry Point:\t\t  0x00000108  (_main)");

    r = convert_debug(dir, c.build(), {"-q", "-boot", "-e", "_start", "-map", "m.map"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, ">>   ERROR: Requested boot table entry point symbol '_start' not found\n\n");
    EXPECT_EQ(entry_line(dir), "   Entry Point:\t\t  0x00000100  (_start)");
}

TEST(Symbols, FileWithoutSymbolsStillAnswersTheRequests)
{
    TempDir dir;
    Coff c = small_program();
    c.symbols.clear();
    auto r = convert_debug(dir, c.build(), {"-q", "-e", "_main", "-reg_config", "0x10,_clock", "-map", "m.map"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              ">>   ERROR: Requested boot table entry point symbol '_main' not found\n\n"
              ">>   ERROR: Requested -reg_config symbol '_clock' not found\n\n");
    // no symbol table, no map header
    EXPECT_EQ(dir.read("m.map").substr(0, 25), "\n\nOUTPUT TRANSLATION MAP\n");
}

TEST(Symbols, OddEntryPointIsFatalForRevisionOne)
{
    TempDir dir;
    Coff c = small_program();
    c.entry_point = 0x101;
    auto r = convert_debug(dir, c.build(), {"-q", "-v7734:1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              // the newlines inside the text are characters to the wrapper
              ">> FATAL ERROR: Specified entry point at address 0x101 is not aligned to\n       \n"
              "                  an even byte boundary as required for a boot loader\n         \n"
              "                of the requested type (aborting)\n");
    r = convert_debug(dir, c.build(), {"-q", "-v7734:3"});
    EXPECT_EQ(r.status, 0);
}

TEST(Translation, DeviceCodesOfTheFileHeader)
{
    TempDir dir;
    Coff c = small_program();
    c.device_code = 6;
    auto r = convert_debug(dir, c.build(), {"-q"});
    EXPECT_EQ(r.status, 0);
    c.device_code = 3;
    r = convert_debug(dir, c.build(), {"-q"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              ">> WARNING: Unknown device: 3\n"
              ">> FATAL ERROR: ERROR: Device 0 not recognized (aborting)\n");
    // the older phases convert; the device option is reported as ignored when given
    c.device_code = 1;
    r = convert_debug(dir, c.build(), {"-q"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    c.device_code = 2;
    r = convert_debug(dir, c.build(), {"-q", "-v7734"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, ">> WARNING: -v option ignored for Phase 2\n");
}

TEST(Translation, FormatsThatCannotCarryTheWidths)
{
    TempDir dir;
    dir.write("app.out", small_program().build());
    auto r = run_khex(dir, {"-q", "-t", "-romwidth", "8", "app"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, ">> FATAL ERROR: ZQ-Tagged format must have a ROM width of 16 bits (aborting)\n");
    r = run_khex(dir, {"-q", "-b", "-memwidth", "16", "app"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, ">> FATAL ERROR: Binary format must have a memory width of 8 bits (aborting)\n");
    // without -romwidth, ZQ-Tagged raises every range to 16 bits, so the words
    // of the little-endian target read most significant byte first
    r = run_khex(dir, {"-q", "-t", "-memwidth", "8", "app"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(dir.read("app.t00").substr(0, 23), "K0000COFFTOZQ90100B1110");
}

TEST(Translation, ByteOrderFollowsTheFileUnlessGiven)
{
    TempDir dir;
    Coff c = small_program();
    c.target_big_endian = true;
    auto r = convert_debug(dir, c.build(), {"-q", "-datawidth", "16", "-map", "m.map"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(dir.read("m.map").find("   Default memory width :   8 (MS-->LS)\n"), std::string::npos);
    c.target_big_endian = false;
    r = convert_debug(dir, c.build(), {"-q", "-datawidth", "16", "-map", "m.map"});
    EXPECT_NE(dir.read("m.map").find("   Default memory width :   8 (LS-->MS)\n"), std::string::npos);
}

TEST(Selection, DefaultSpecsLeaveOutSectionsWithoutData)
{
    TempDir dir;
    auto r = convert_debug(dir, small_program().build());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, SMALL_PROGRESS);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(dir.read("app.d00"), SMALL_DEBUG);
}

TEST(Selection, SectionsDirectiveOrderAndWarnings)
{
    TempDir dir;
    dir.write("s.cmd", "SECTIONS { .data, .text: .missing .text }\n");
    auto r = convert_debug(dir, small_program().build(), {"-boot", "s.cmd"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err,
              "\"s.cmd\", line 1: WARNING: duplicate section name '.text' (ignored)\n"
              ">> WARNING: -boot option ignored and overridden by SECTIONS directive\n"
              ">> WARNING: section .missing not found in app.out\n");
    EXPECT_EQ(r.out, SMALL_PROGRESS);  // .text first: it has the lower address
}

TEST(Selection, PhysicalAddressMovesASection)
{
    TempDir dir;
    dir.write("s.cmd", "SECTIONS { .text: paddr = 0x8000 .data }\n");
    auto r = convert_debug(dir, small_program().build(), {"-q", "s.cmd"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(dir.read("app.d00"), debug_file("ADDR:00000200: DATA:D0 D1 D2 D3 :END:\n"
                                              "ADDR:00008000: DATA:10 11 12 13 14 15 16 17 :END:\n"));
}

TEST(Selection, NothingSelectedIsFatal)
{
    TempDir dir;
    dir.write("s.cmd", "SECTIONS { .nothing .bss }\n");
    auto r = convert_debug(dir, small_program().build(), {"s.cmd"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              ">> WARNING: section .nothing not found in app.out\n"
              ">> FATAL ERROR: no initialized sections in app.out (aborting)\n");
}

TEST(Selection, BootstrapMustBeSelected)
{
    TempDir dir;
    dir.write("s.cmd", "SECTIONS { .text .data }\n");
    auto r = convert_debug(dir, small_program().build(), {"-bootstrap=.boot", "s.cmd"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, ">> FATAL ERROR: bootstrap section .boot not found (aborting)\n");
    r = convert_debug(dir, small_program().build(), {"-q", "-bootstrap=.data", "s.cmd"});
    EXPECT_EQ(r.status, 0);
    // the bootstrap section comes first, whatever its address
    EXPECT_EQ(dir.read("app.d00"), debug_file("ADDR:00000200: DATA:D0 D1 D2 D3 :END:\n"));
}

TEST(Selection, RamModelCinitGoesToBssAddressesAndIsRefusedInImageMode)
{
    TempDir dir;
    Coff c = small_program();
    Bytes records = coffgen::cinit_record(0x304, {0xC0, 0xC1}, false);
    records.insert(records.end(), {0, 0});
    c.sections.push_back({".cinit", 0x280, records, 0, coffgen::STYP_COPY});
    auto r = convert_debug(dir, c.build(), {"-q"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(dir.read("app.d00"), debug_file("ADDR:00000100: DATA:10 11 12 13 14 15 16 17 :END:\n"
                                              "ADDR:00000200: DATA:D0 D1 D2 D3 :END:\n"
                                              "ADDR:00000304: DATA:C0 C1 :END:\n"));
    dir.write("r.cmd", "ROMS { all: o = 0x100 l = 0x300 }\n");
    r = convert_debug(dir, c.build(), {"-q", "-image", "r.cmd"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, ">> WARNING: can't convert RAM-model .cinit with -image\n");
}

}  // namespace
