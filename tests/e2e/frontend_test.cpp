// The command line, diagnostics, input files and command files, end to end.
#include <gtest/gtest.h>

#include "runner.h"

using khextest::run_khex;
using khextest::TempDir;

namespace {

const std::string BANNER =
    "khex COFF to hex converter        Version 1.0.0\n"
    "Kestrel DSP tool chain            ROM and boot-table images\n"
    "\n"
    "Usage: khex [-options | -h] filename\n"
    "\n";

TEST(CommandLine, NoArgumentsGiveTheShortUsage)
{
    TempDir dir;
    auto r = run_khex(dir, {});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, BANNER);
    EXPECT_EQ(r.err, "");
    r = run_khex(dir, {"-i", "-q"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, BANNER);
}

TEST(CommandLine, HelpGivesTheFullUsage)
{
    TempDir dir;
    auto r = run_khex(dir, {"-h"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, BANNER +
                         "Options:\n"
                         " -@<file>      Read commands from 'file'\n"
                         " -q            Quiet Operation\n"
                         " -e<addr>      Specify entrypoint address or symbol name\n"
                         " -o<file>      Specify output file names\n"
                         " -image        Select image mode\n"
                         " -zero         Zero based addressing\n"
                         " -fill<x>      Specify fill value\n"
                         " -romwidth<x>  Specify rom width\n"
                         " -memwidth<x>  Specify memory width\n"
                         " -datawidth<x> Specify data width\n"
                         " -order        Specify data ordering (endinness)\n"
                         " -bootorg<adr> Specify origin address or symbol of boot table ROM\n"
                         " -map<file>    Specify map file name\n"
                         "\n"
                         "Output Format Specification:\n"
                         " -a            Output ASCII hex format\n"
                         " -i            Output Intel hex format\n"
                         " -m[1|2|3]     Output Motorola S hex format\n"
                         " -t            Output ZQ-Tagged hex format\n"
                         " -x            Output Extended Tektronix hex format\n"
                         "\n"
                         "            See the User's guide for additional information\n"
                         "            and target specific options.\n"
                         "\n");
}

TEST(CommandLine, MissingInputFileIsFatalWithTheSystemText)
{
    TempDir dir;
    auto r = run_khex(dir, {"-x", "app"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err,
              ">> FATAL ERROR: cannot open input file 'app.out': No such file or directory\n"
              "                (aborting)\n");
}

TEST(CommandLine, OptionTextsOver255CharactersAreWarnedAbout)
{
    TempDir dir;
    dir.write("c.cmd", "/* empty */\n");
    std::string option = "-" + std::string(300, 'y');
    auto r = run_khex(dir, {option, "c.cmd"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, ">> WARNING: invalid option:\n            -" + std::string(300, 'y') +
                         "\n>> FATAL ERROR: no input files (aborting)\n");
}

TEST(InputFiles, ClassificationByTheFirstTwoBytes)
{
    TempDir dir;
    dir.write("bin.dat", std::string("\x90\x01zz", 4));
    dir.write("one.cmd", std::string("x"));
    auto r = run_khex(dir, {"bin.dat"});
    EXPECT_EQ(r.err,
              ">> WARNING: illegal input file type: bin.dat ignored\n"
              ">> FATAL ERROR: no input files (aborting)\n");
    r = run_khex(dir, {"one.cmd"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, ">> FATAL ERROR: cannot read input file one.cmd (aborting)\n");
}

TEST(CommandFiles, NestedFilesAreSkippedAndTheRestIsParsed)
{
    TempDir dir;
    dir.write("inner.cmd", "-q\n");
    dir.write("outer.cmd", "inner.cmd\n-bogus\n");
    auto r = run_khex(dir, {"outer.cmd"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "\"outer.cmd\", line 1: WARNING: nested command file: inner.cmd ignored\n"
              "\"outer.cmd\", line 2: WARNING: invalid option: -bogus\n"
              ">> FATAL ERROR: no input files (aborting)\n");
}

TEST(CommandFiles, SyntaxErrorEchoesTheLineWithACaretAndLosesTheNextToken)
{
    TempDir dir;
    dir.write("c.cmd", "\t=\n-quiet_typo\n");
    auto r = run_khex(dir, {"c.cmd"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, " =\n  ^\n");
    // the "-" of the next line is lost, so its word is taken as an input file
    EXPECT_EQ(r.err,
              "\"c.cmd\", line 1:   ERROR: syntax error\n"
              "\"c.cmd\", line 2: FATAL ERROR: cannot open input file 'quiet_typo.out': No such\n"
              "                              file or directory (aborting)\n");
}

TEST(CommandFiles, ErrorsStopTheRunAfterEveryFileWasRead)
{
    TempDir dir;
    dir.write("c.cmd", "ROMS { r: o = 0 l = 0 }\n-order x\n");
    dir.write("d.cmd", "-bad\n");
    auto r = run_khex(dir, {"c.cmd", "d.cmd"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "\"c.cmd\", line 1:   ERROR: invalid length on r\n"
              "\"c.cmd\", line 2:   ERROR: invalid -order option: specify MS or LS\n"
              "\"d.cmd\", line 1: WARNING: invalid option: -bad\n"
              ">> FATAL ERROR: no input files (aborting)\n");
}

TEST(CommandFiles, LongLinesCountAsSeveralLines)
{
    TempDir dir;
    dir.write("c.cmd", std::string(300, ' ') + "-bad\n");
    auto r = run_khex(dir, {"c.cmd"});
    EXPECT_EQ(r.err.substr(0, 51), "\"c.cmd\", line 2: WARNING: invalid option: -bad\n>> F");
}

TEST(CommandFiles, DeepParenthesesHitTheParserStackLimit)
{
    TempDir dir;
    std::string text = "ROMS { r: origin = ";
    for (int i = 0; i < 10000; ++i)
        text += i % 100 == 99 ? "(\n" : "(";
    text += "0";
    for (int i = 0; i < 10000; ++i)
        text += ")";
    text += " }\n";
    dir.write("c.cmd", text);
    auto r = run_khex(dir, {"c.cmd"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("ERROR: syntax error\n"), std::string::npos);
    EXPECT_NE(r.err.find(">> FATAL ERROR: no input files (aborting)\n"), std::string::npos);
    EXPECT_EQ(r.out.back(), '\n');
}

TEST(CommandFiles, NestingBelowTheLimitIsAccepted)
{
    TempDir dir;
    std::string text = "ROMS { r: origin = ";
    for (int i = 0; i < 4000; ++i)
        text += i % 100 == 99 ? "(\n" : "(";
    text += "0";
    for (int i = 0; i < 4000; ++i)
        text += i % 100 == 99 ? ")\n" : ")";
    text += " }\n";
    dir.write("c.cmd", text);
    auto r = run_khex(dir, {"c.cmd"});
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, ">> FATAL ERROR: no input files (aborting)\n");
}

TEST(CommandFiles, BinaryGarbageIsReportedCharacterByCharacter)
{
    TempDir dir;
    dir.write("c.cmd", std::string("\x01\x7f\x1b ab", 6));
    auto r = run_khex(dir, {"c.cmd"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "\"c.cmd\", line 1:   ERROR: illegal input character: 0x01\n"
              "\"c.cmd\", line 1:   ERROR: illegal input character: 0x7F\n"
              "\"c.cmd\", line 1:   ERROR: illegal input character: 0x1B\n"
              "\"c.cmd\", line 1: FATAL ERROR: cannot open input file 'ab.out': No such file or\n"
              "                              directory (aborting)\n");
}

TEST(CommandFiles, UnterminatedCommentAndQuoteEndQuietly)
{
    TempDir dir;
    dir.write("a.cmd", "-q /* never closed\n-bad\n");
    dir.write("b.cmd", "\"missing.cmd\n");
    auto r = run_khex(dir, {"a.cmd"});
    EXPECT_EQ(r.err, ">> FATAL ERROR: no input files (aborting)\n");
    r = run_khex(dir, {"b.cmd"});
    EXPECT_EQ(r.err,
              "\"b.cmd\", line 1: FATAL ERROR: cannot open input file 'missing.cmd': No such file\n"
              "                              or directory (aborting)\n");
}

TEST(CommandFiles, LongPathPrefixGoesOnItsOwnLine)
{
    TempDir dir;
    std::string name = std::string(60, 'n') + ".cmd";
    dir.write(name, "-bad\n");
    auto r = run_khex(dir, {name});
    EXPECT_EQ(r.err,
              "\"" + name + "\", line 1: WARNING:\n"
              "         invalid option: -bad\n"
              ">> FATAL ERROR: no input files (aborting)\n");
}

TEST(CommandFiles, DoubleDashOptionsAndValuesOnLaterLines)
{
    TempDir dir;
    dir.write("c.cmd", "- - binary_output\n-fill\n\n 0x12345\n-e\n");
    auto r = run_khex(dir, {"c.cmd"});
    EXPECT_EQ(r.err,
              "\"c.cmd\", line 4: WARNING: fill value truncated to 2 bytes: 2345\n"
              "\"c.cmd\", line 5: WARNING: invalid value for -e option (ignored)\n"
              ">> FATAL ERROR: no input files (aborting)\n");
}

TEST(Ranges, MessagesOfTheRomsDirective)
{
    TempDir dir;
    dir.write("c.cmd",
              "ROMS {\n"
              "  PAGE 1: hi: o = 0x100, l = 0x100, w = 24, memwidth = 32, fill = 0x12345\n"
              "  PAGE 0: lo: o = 0 o = 0x10 l = 0x10 l = 0x10 w = 8 w = 8 mw = 16 mw = 16 f = 1 f = 2\n"
              "}\n"
              "ROMS { again: l = 0x10 }\n");
    auto r = run_khex(dir, {"c.cmd"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "\"c.cmd\", line 2: WARNING: illegal width of 24 specified for hi\n"
              "\"c.cmd\", line 2: WARNING: memwidth(32) is greater than target width(16)\n"
              "\"c.cmd\", line 2: WARNING: fill value truncated to 2 bytes: 2345\n"
              "\"c.cmd\", line 3:   ERROR: origin redefined for lo\n"
              "\"c.cmd\", line 3:   ERROR: length redefined for lo\n"
              "\"c.cmd\", line 3:   ERROR: width redefined for lo\n"
              "\"c.cmd\", line 3:   ERROR: memory width redefined for lo\n"
              "\"c.cmd\", line 3:   ERROR: fill redefined for lo\n"
              "\"c.cmd\", line 4:   ERROR: memory ranges hi and lo out of order\n"
              "\"c.cmd\", line 5:   ERROR: ROMS directive redefined\n"
              "\"c.cmd\", line 5:   ERROR: memory ranges lo and again out of order\n"
              ">> FATAL ERROR: no input files (aborting)\n");
}

}  // namespace
