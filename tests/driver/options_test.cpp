#include "driver/options.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "capture.h"
#include "cmdfile/lexer.h"
#include "driver/diagnostics.h"
#include "driver/walk.h"
#include "output/formats.h"

using namespace khex;

namespace {

struct Applied {
    khextest::Captured output;
    int status;  // status of a run ended by the options, -100 when it goes on
};

// Walks a command line of options followed by an empty command file, as the
// driver does, and returns what it printed.
Applied apply(const std::vector<std::string>& args, const std::string& command_file_text = "/* */\n")
{
    std::string path = "/tmp/khex-options-" + std::to_string(getpid()) + ".cmd";
    FILE* f = std::fopen(path.c_str(), "w");
    std::fputs(command_file_text.c_str(), f);
    std::fclose(f);
    std::vector<const char*> argv{"khex"};
    for (const std::string& a : args)
        argv.push_back(a.c_str());
    argv.push_back(path.c_str());
    Applied result{{}, -100};
    result.output = khextest::capture([&] {
        set_defaults();
        lexer_init();
        try {
            walk_command_line(static_cast<int>(argv.size()), argv.data());
        } catch (const RunEnd& end) {
            result.status = end.status;
        }
    });
    std::remove(path.c_str());
    return result;
}

TEST(Options, DefaultsOfEverySetting)
{
    apply({});
    EXPECT_EQ(options.format, FORMAT_TEKTRONIX);
    EXPECT_EQ(options.romwidth, 1);
    EXPECT_EQ(options.memwidth, 2);
    EXPECT_EQ(options.datawidth, 1);
    EXPECT_EQ(options.order, ORDER_NONE);
    EXPECT_EQ(options.olength, 20);
    EXPECT_EQ(options.entry_address, NOT_GIVEN);
    EXPECT_EQ(options.bootorg, NOT_GIVEN);
    EXPECT_EQ(options.device, 7734);
    EXPECT_EQ(options.revision, 2);
    EXPECT_EQ(options.boot.mode, BOOT_MODE_NONE);
    EXPECT_EQ(options.boot.alignment, 1);
}

TEST(Options, MatchingIsCaseInsensitiveAndOrdered)
{
    apply({"-ROMWIDTH", "16"});
    EXPECT_EQ(options.romwidth, 2);
    apply({"--binary"});
    EXPECT_EQ(options.format, FORMAT_GENERIC);
    apply({"-delayed", "7"});
    ASSERT_EQ(options.boot_entries.size(), 1u);
    EXPECT_EQ(options.boot_entries[0].kind, BOOT_DELAY);
    apply({"-m1"});
    EXPECT_EQ(options.format, FORMAT_MOTOROLA_S1);
    apply({"-m"});
    EXPECT_EQ(options.format, FORMAT_MOTOROLA);
    apply({"-F", "0x1234", "-Z"});
    EXPECT_EQ(options.fill, 0x1234u);
    EXPECT_TRUE(options.zero);
}

TEST(Options, WidthValuesAndTheirWarnings)
{
    auto r = apply({"-romwidth", "12"});
    EXPECT_EQ(r.output.err, ">> WARNING: illegal romwidth of 12, using romwidth=8\n");
    EXPECT_EQ(options.romwidth, 1);
    r = apply({"-romwidth", "wide"});
    EXPECT_EQ(r.output.err, ">> WARNING: invalid value for -romwidth option (ignored)\n");
    EXPECT_EQ(options.romwidth, 1);
    EXPECT_TRUE(options.romwidth_given);
    r = apply({"-memwidth", "32"});
    EXPECT_EQ(r.output.err, ">> WARNING: memwidth(32) is greater than target width(16)\n");
    EXPECT_EQ(options.memwidth, 4);
    r = apply({"-memwidth", "0", "-datawidth", "0", "-romwidth", "0"});
    EXPECT_EQ(r.output.err,
              ">> WARNING: illegal memwidth of 0, using memwidth=16\n"
              ">> WARNING: illegal datawidth of 0, using datawidth=8\n"
              ">> WARNING: illegal romwidth of 0, using romwidth=8\n");
    EXPECT_EQ(options.memwidth, 2);
    EXPECT_EQ(options.datawidth, 1);
    EXPECT_EQ(options.romwidth, 1);
}

TEST(Options, BinaryGenericAndRomWidthInteract)
{
    apply({"-b", "-romwidth", "16"});
    EXPECT_EQ(options.format, FORMAT_BINARY);
    EXPECT_EQ(options.romwidth, 2);
    EXPECT_EQ(options.memwidth, 1);
    apply({"-romwidth", "16", "--b"});
    EXPECT_EQ(options.format, FORMAT_GENERIC);
    EXPECT_EQ(options.romwidth, 2);
    apply({"--w"});
    EXPECT_EQ(options.romwidth, 2);
}

TEST(Options, FillOlengthAndOrder)
{
    auto r = apply({"-fill", "0x12345"});
    EXPECT_EQ(r.output.err, ">> WARNING: fill value truncated to 2 bytes: 2345\n");
    EXPECT_EQ(options.fill, 0x2345u);
    r = apply({"-olength", "0"});
    EXPECT_EQ(r.output.err, ">> WARNING: illegal value 0 for -olength, using 1\n");
    EXPECT_EQ(options.olength, 1);
    apply({"-order", "ls"});
    EXPECT_EQ(options.order, ORDER_LS);
    apply({"-order", "Most"});
    EXPECT_EQ(options.order, ORDER_MS);
    r = apply({"-order", "x"});
    EXPECT_EQ(r.output.err, ">>   ERROR: invalid -order option: specify MS or LS\n");
    EXPECT_EQ(diagnostics.max_severity, SEVERITY_ERROR);
}

TEST(Options, EntryPointNumberAndSymbol)
{
    apply({"-e", "main", "-e", "0x100"});
    EXPECT_EQ(options.entry_address, 0x100u);
    EXPECT_FALSE(options.has_entry_symbol);
    apply({"-e", "0x100", "-e", "_start"});
    EXPECT_EQ(options.entry_address, NOT_GIVEN);
    EXPECT_TRUE(options.has_entry_symbol);
    EXPECT_EQ(options.entry_symbol, "_start");
}

TEST(Options, BootOriginAcceptsOnlyNumbers)
{
    auto r = apply({"-bootorg", "table"});
    EXPECT_EQ(r.output.err, ">> WARNING: illegal -bootorg value (ignored)\n");
    r = apply({"-bootorg", "="});
    EXPECT_EQ(r.output.err, ">> WARNING: illegal value on -bootorg (ignored)\n");
    apply({"-bootorg", "0x8000", "-bootpage", "1"});
    EXPECT_EQ(options.bootorg, 0x8000u);
    EXPECT_EQ(options.bootpage, 1);
}

TEST(Options, DeviceRevision)
{
    apply({"-v7734:3"});
    EXPECT_EQ(options.revision, 3);
    apply({"-v7734"});
    EXPECT_EQ(options.revision, 2);
    apply({"-v7734:1"});
    EXPECT_EQ(options.revision, 1);
    auto r = apply({"-v7734:4"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output.err, ">> FATAL ERROR: revision 4 not supported in this release (aborting)\n");
}

TEST(Options, RegisterConfigurationLists)
{
    apply({"-reg_config", "0x10,5,sym", "--delay", "100", "--v6620_startdsp", "3"});
    ASSERT_EQ(options.boot_entries.size(), 4u);
    EXPECT_EQ(options.boot_entries[0].kind, BOOT_REGISTER);
    EXPECT_EQ(options.boot_entries[0].address, 0x10u);
    EXPECT_EQ(options.boot_entries[0].value, 5u);
    EXPECT_EQ(options.boot_entries[1].kind, BOOT_REGISTER_SYMBOL);
    EXPECT_EQ(options.boot_entries[1].address, 0x11u);
    EXPECT_EQ(options.boot_entries[1].name, "sym");
    EXPECT_EQ(options.boot_entries[2].kind, BOOT_DELAY);
    EXPECT_EQ(options.boot_entries[3].kind, BOOT_START_DSP);

    apply({"-reg_config", "0x10"});
    EXPECT_TRUE(options.boot_entries.empty());

    auto r = apply({"-reg_config", "0x10,"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output.err, ">> FATAL ERROR: missing value after comma in reg_config option (aborting)\n");

    r = apply({"-reg_config", "reg", "-delay", "x"});
    EXPECT_EQ(r.output.err,
              ">> WARNING: invalid value for -reg_config option (ignored)\n"
              ">> WARNING: illegal address for -reg_config (ignored)\n"
              ">> WARNING: invalid value for -delay option (ignored)\n"
              ">> WARNING: bad option to -delay (ignored)\n");
    EXPECT_TRUE(options.boot_entries.empty());
}

TEST(Options, RegisterListInACommandFileContinuesOnTheNextLine)
{
    apply({}, "-reg_config 0x20,\n  7, 8 -delay 1\n");
    ASSERT_EQ(options.boot_entries.size(), 3u);
    EXPECT_EQ(options.boot_entries[0].address, 0x20u);
    EXPECT_EQ(options.boot_entries[0].value, 7u);
    EXPECT_EQ(options.boot_entries[1].address, 0x21u);
    EXPECT_EQ(options.boot_entries[1].value, 8u);
    EXPECT_EQ(options.boot_entries[2].kind, BOOT_DELAY);  // the blank ended the list
}

TEST(Options, BootModeWordsSetFiveFields)
{
    apply({"-wren32"});
    EXPECT_EQ(options.memwidth, 2);
    EXPECT_EQ(options.romwidth, 4);
    EXPECT_EQ(options.boot.port, BOOT_PORT_PARALLEL);
    EXPECT_EQ(options.boot.alignment, 4);
    EXPECT_EQ(options.boot.mode, BOOT_MODE_WREN32);
    EXPECT_FALSE(options.romwidth_given);
    apply({"-parallel8"});
    EXPECT_EQ(options.memwidth, 1);
    EXPECT_EQ(options.boot.port, BOOT_PORT_SERIAL);
    EXPECT_EQ(options.boot.mode, BOOT_MODE_8BIT);
    apply({"-serial16"});
    EXPECT_EQ(options.boot.mode, BOOT_MODE_KITE16);
}

TEST(Options, BootstrapKeepsTheCaseTyped)
{
    apply({"-BootStrap=.Boot"});
    EXPECT_TRUE(options.has_bootstrap);
    EXPECT_EQ(options.bootstrap, ".Boot");
}

TEST(Options, UnknownOptionsAndMissingValues)
{
    auto r = apply({"-", "-@file", "-xyz", "-o"});
    EXPECT_EQ(r.output.err,
              ">> WARNING: invalid option: -\n"
              ">> WARNING: invalid option: -@file\n"
              ">> WARNING: invalid option: -xyz\n");
    // -o took the command file's name as its value, so no file argument is left
    EXPECT_EQ(r.status, 1);
    ASSERT_EQ(options.output_names.size(), 1u);
}

}  // namespace
