#include "driver/options.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "driver/options.h"
#include "driver/usage.h"
#include "test_run.h"

using namespace khex;

namespace {

struct Applied {
    khextest::Captured output;
    int status;  // status of a run ended by the options, -100 when it goes on
    std::shared_ptr<khextest::TestRun> run;
    const ConvOptions& options() const { return (**run).options; }
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
    Applied result{{}, -100, std::make_shared<khextest::TestRun>()};
    try {
        walk_command_line(**result.run, static_cast<int>(argv.size()), argv.data());
    } catch (const RunEnd& end) {
        result.status = end.status;
    }
    result.output = result.run->console();
    std::remove(path.c_str());
    return result;
}

TEST(Options, DefaultsOfEverySetting)
{
    Applied r;
    r = apply({});
    EXPECT_EQ(r.options().format, FORMAT_TEKTRONIX);
    EXPECT_EQ(r.options().romwidth, 1);
    EXPECT_EQ(r.options().memwidth, 2);
    EXPECT_EQ(r.options().datawidth, 1);
    EXPECT_EQ(r.options().order, ORDER_NONE);
    EXPECT_EQ(r.options().olength, 20);
    EXPECT_EQ(r.options().entry_address, NOT_GIVEN);
    EXPECT_EQ(r.options().bootorg, NOT_GIVEN);
    EXPECT_EQ(r.options().device, 7734);
    EXPECT_EQ(r.options().revision, 2);
    EXPECT_EQ(r.options().boot.mode, BOOT_MODE_NONE);
    EXPECT_EQ(r.options().boot.alignment, 1);
}

TEST(Options, MatchingIsCaseInsensitiveAndOrdered)
{
    Applied r;
    r = apply({"-ROMWIDTH", "16"});
    EXPECT_EQ(r.options().romwidth, 2);
    r = apply({"--binary"});
    EXPECT_EQ(r.options().format, FORMAT_GENERIC);
    r = apply({"-delayed", "7"});
    ASSERT_EQ(r.options().boot_entries.size(), 1u);
    EXPECT_EQ(r.options().boot_entries[0].kind, BOOT_DELAY);
    r = apply({"-m1"});
    EXPECT_EQ(r.options().format, FORMAT_MOTOROLA_S1);
    r = apply({"-m"});
    EXPECT_EQ(r.options().format, FORMAT_MOTOROLA);
    r = apply({"-F", "0x1234", "-Z"});
    EXPECT_EQ(r.options().fill, 0x1234u);
    EXPECT_TRUE(r.options().zero);
}

TEST(Options, WidthValuesAndTheirWarnings)
{
    Applied r;
    r = apply({"-romwidth", "12"});
    EXPECT_EQ(r.output.err, ">> WARNING: illegal romwidth of 12, using romwidth=8\n");
    EXPECT_EQ(r.options().romwidth, 1);
    r = apply({"-romwidth", "wide"});
    EXPECT_EQ(r.output.err, ">> WARNING: invalid value for -romwidth option (ignored)\n");
    EXPECT_EQ(r.options().romwidth, 1);
    EXPECT_TRUE(r.options().romwidth_given);
    r = apply({"-memwidth", "32"});
    EXPECT_EQ(r.output.err, ">> WARNING: memwidth(32) is greater than target width(16)\n");
    EXPECT_EQ(r.options().memwidth, 4);
    r = apply({"-memwidth", "0", "-datawidth", "0", "-romwidth", "0"});
    EXPECT_EQ(r.output.err,
              ">> WARNING: illegal memwidth of 0, using memwidth=16\n"
              ">> WARNING: illegal datawidth of 0, using datawidth=8\n"
              ">> WARNING: illegal romwidth of 0, using romwidth=8\n");
    EXPECT_EQ(r.options().memwidth, 2);
    EXPECT_EQ(r.options().datawidth, 1);
    EXPECT_EQ(r.options().romwidth, 1);
}

TEST(Options, BinaryGenericAndRomWidthInteract)
{
    Applied r;
    r = apply({"-b", "-romwidth", "16"});
    EXPECT_EQ(r.options().format, FORMAT_BINARY);
    EXPECT_EQ(r.options().romwidth, 2);
    EXPECT_EQ(r.options().memwidth, 1);
    r = apply({"-romwidth", "16", "--b"});
    EXPECT_EQ(r.options().format, FORMAT_GENERIC);
    EXPECT_EQ(r.options().romwidth, 2);
    r = apply({"--w"});
    EXPECT_EQ(r.options().romwidth, 2);
}

TEST(Options, FillOlengthAndOrder)
{
    Applied r;
    r = apply({"-fill", "0x12345"});
    EXPECT_EQ(r.output.err, ">> WARNING: fill value truncated to 2 bytes: 2345\n");
    EXPECT_EQ(r.options().fill, 0x2345u);
    r = apply({"-olength", "0"});
    EXPECT_EQ(r.output.err, ">> WARNING: illegal value 0 for -olength, using 1\n");
    EXPECT_EQ(r.options().olength, 1);
    r = apply({"-order", "ls"});
    EXPECT_EQ(r.options().order, ORDER_LS);
    r = apply({"-order", "Most"});
    EXPECT_EQ(r.options().order, ORDER_MS);
    r = apply({"-order", "x"});
    EXPECT_EQ(r.output.err, ">>   ERROR: invalid -order option: specify MS or LS\n");
    EXPECT_EQ((*r.run)->diagnostics.max_severity, SEVERITY_ERROR);
}

TEST(Options, EntryPointNumberAndSymbol)
{
    Applied r;
    r = apply({"-e", "main", "-e", "0x100"});
    EXPECT_EQ(r.options().entry_address, 0x100u);
    EXPECT_FALSE(r.options().has_entry_symbol);
    r = apply({"-e", "0x100", "-e", "_start"});
    EXPECT_EQ(r.options().entry_address, NOT_GIVEN);
    EXPECT_TRUE(r.options().has_entry_symbol);
    EXPECT_EQ(r.options().entry_symbol, "_start");
}

TEST(Options, BootOriginAcceptsOnlyNumbers)
{
    Applied r;
    r = apply({"-bootorg", "table"});
    EXPECT_EQ(r.output.err, ">> WARNING: illegal -bootorg value (ignored)\n");
    r = apply({"-bootorg", "="});
    EXPECT_EQ(r.output.err, ">> WARNING: illegal value on -bootorg (ignored)\n");
    r = apply({"-bootorg", "0x8000", "-bootpage", "1"});
    EXPECT_EQ(r.options().bootorg, 0x8000u);
    EXPECT_EQ(r.options().bootpage, 1);
}

TEST(Options, DeviceRevision)
{
    Applied r;
    r = apply({"-v7734:3"});
    EXPECT_EQ(r.options().revision, 3);
    r = apply({"-v7734"});
    EXPECT_EQ(r.options().revision, 2);
    r = apply({"-v7734:1"});
    EXPECT_EQ(r.options().revision, 1);
    r = apply({"-v7734:4"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output.err, ">> FATAL ERROR: revision 4 not supported in this release (aborting)\n");
}

TEST(Options, RegisterConfigurationLists)
{
    Applied r;
    r = apply({"-reg_config", "0x10,5,sym", "--delay", "100", "--v6620_startdsp", "3"});
    ASSERT_EQ(r.options().boot_entries.size(), 4u);
    EXPECT_EQ(r.options().boot_entries[0].kind, BOOT_REGISTER);
    EXPECT_EQ(r.options().boot_entries[0].address, 0x10u);
    EXPECT_EQ(r.options().boot_entries[0].value, 5u);
    EXPECT_EQ(r.options().boot_entries[1].kind, BOOT_REGISTER_SYMBOL);
    EXPECT_EQ(r.options().boot_entries[1].address, 0x11u);
    EXPECT_EQ(r.options().boot_entries[1].name, "sym");
    EXPECT_EQ(r.options().boot_entries[2].kind, BOOT_DELAY);
    EXPECT_EQ(r.options().boot_entries[3].kind, BOOT_START_DSP);

    r = apply({"-reg_config", "0x10"});
    EXPECT_TRUE(r.options().boot_entries.empty());

    r = apply({"-reg_config", "0x10,"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output.err, ">> FATAL ERROR: missing value after comma in reg_config option (aborting)\n");

    r = apply({"-reg_config", "reg", "-delay", "x"});
    EXPECT_EQ(r.output.err,
              ">> WARNING: invalid value for -reg_config option (ignored)\n"
              ">> WARNING: illegal address for -reg_config (ignored)\n"
              ">> WARNING: invalid value for -delay option (ignored)\n"
              ">> WARNING: bad option to -delay (ignored)\n");
    EXPECT_TRUE(r.options().boot_entries.empty());
}

TEST(Options, RegisterListInACommandFileContinuesOnTheNextLine)
{
    Applied r;
    r = apply({}, "-reg_config 0x20,\n  7, 8 -delay 1\n");
    ASSERT_EQ(r.options().boot_entries.size(), 3u);
    EXPECT_EQ(r.options().boot_entries[0].address, 0x20u);
    EXPECT_EQ(r.options().boot_entries[0].value, 7u);
    EXPECT_EQ(r.options().boot_entries[1].address, 0x21u);
    EXPECT_EQ(r.options().boot_entries[1].value, 8u);
    EXPECT_EQ(r.options().boot_entries[2].kind, BOOT_DELAY);  // the blank ended the list
}

TEST(Options, BootModeWordsSetFiveFields)
{
    Applied r;
    r = apply({"-wren32"});
    EXPECT_EQ(r.options().memwidth, 2);
    EXPECT_EQ(r.options().romwidth, 4);
    EXPECT_EQ(r.options().boot.port, BOOT_PORT_PARALLEL);
    EXPECT_EQ(r.options().boot.alignment, 4);
    EXPECT_EQ(r.options().boot.mode, BOOT_MODE_WREN32);
    EXPECT_FALSE(r.options().romwidth_given);
    r = apply({"-parallel8"});
    EXPECT_EQ(r.options().memwidth, 1);
    EXPECT_EQ(r.options().boot.port, BOOT_PORT_SERIAL);
    EXPECT_EQ(r.options().boot.mode, BOOT_MODE_8BIT);
    r = apply({"-serial16"});
    EXPECT_EQ(r.options().boot.mode, BOOT_MODE_KITE16);
}

TEST(Options, BootstrapKeepsTheCaseTyped)
{
    Applied r;
    r = apply({"-BootStrap=.Boot"});
    EXPECT_TRUE(r.options().has_bootstrap);
    EXPECT_EQ(r.options().bootstrap, ".Boot");
}

TEST(Options, UnknownOptionsAndMissingValues)
{
    Applied r;
    r = apply({"-", "-@file", "-xyz", "-o"});
    EXPECT_EQ(r.output.err,
              ">> WARNING: invalid option: -\n"
              ">> WARNING: invalid option: -@file\n"
              ">> WARNING: invalid option: -xyz\n");
    // -o took the command file's name as its value, so no file argument is left
    EXPECT_EQ(r.status, 1);
    ASSERT_EQ(r.options().output_names.size(), 1u);
}

}  // namespace

namespace {

// Words beyond the classic options are matched whole at their own step: no
// rule of an earlier step takes them, and each reaches its own handler.
TEST(OptionWords, EveryExtensionWordReachesItsOwnHandler)
{
    const OptionRows& extensions = extension_options();
    ASSERT_GT(row_count(extensions), 0u);
    for (size_t i = 0; i < row_count(extensions); ++i) {
        const OptionRow row = row_at(extensions, i);
        OptionMatch m = match_option(row.word);
        EXPECT_EQ(m.step, STEP_EXTENSION) << row.word;
        EXPECT_EQ(m.handle, row.handle) << row.word;
    }
}

// Every word of the format table selects its row, typed as a user types it.
TEST(OptionWords, EveryFormatWordSelectsItsRow)
{
    for (int f = 0; f < format_count; ++f) {
        for (const FormatWord& w : output_formats[f].words) {
            if (!w.word)
                continue;
            OptionMatch m = match_option(w.word);
            EXPECT_EQ(m.format_word, &w) << w.word;
            Applied r = apply({std::string("-") + w.word});
            EXPECT_EQ(r.options().format, f) << w.word;
        }
    }
}

}  // namespace

namespace {

// --help is made from the tables: it shows every row of them, and every
// option it shows is one the matching takes.
TEST(Help, ShowsEveryOptionOfTheTablesAndOnlyOptionsThatWork)
{
    // the spellings of the option column, as typed, their values cut off
    const std::string help = help_text("khex");
    std::set<std::string> shown;
    for (size_t at = help.find("\n  -"); at != std::string::npos; at = help.find("\n  -", at + 1)) {
        std::string column = help.substr(at + 3, help.find('\n', at + 1) - at - 3);
        column = column.substr(0, column.find("  "));
        for (size_t start = 0; start != std::string::npos;) {
            size_t comma = column.find(", -", start);
            std::string spelling = column.substr(start, comma == std::string::npos ? comma : comma - start);
            spelling = spelling.substr(0, spelling.find_first_of(" ["));
            EXPECT_NE(match_option(spelling.substr(1).c_str()).step, 0) << spelling;
            shown.insert(spelling.substr(0, spelling.find('=') == std::string::npos ? spelling.npos
                                                                                    : spelling.find('=') + 1));
            start = comma == std::string::npos ? comma : comma + 2;
        }
    }
    size_t words = 0;
    for (const OptionRows& table : option_tables()) {
        for (size_t i = 0; i < row_count(table); ++i, ++words) {
            std::string typed = table.dashes + std::string(row_at(table, i).word);
            EXPECT_TRUE(shown.count(typed)) << typed;
        }
    }
    for (int f = 0; f < format_count; ++f) {
        for (const FormatWord& w : output_formats[f].words) {
            if (w.word) {
                EXPECT_TRUE(shown.count(std::string("-") + w.word)) << w.word;
                ++words;
            }
        }
    }
    EXPECT_EQ(shown.size(), words);
}

}  // namespace
