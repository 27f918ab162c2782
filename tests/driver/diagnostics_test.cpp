#include "base/diagnostics.h"

#include <gtest/gtest.h>

#include "test_run.h"

using namespace khex;

namespace {

const std::string P11 = ">> WARNING:";  // 11 characters: text starts in column 13, 68 per line

TEST(Wrapper, TextOfExactlyTheRoomFitsOnTheFirstLine)
{
    std::string text(68, 'a');
    EXPECT_EQ(wrap_message(P11, text), P11 + " " + text + "\n");
}

TEST(Wrapper, LongerTextBreaksAtTheLastBlankWithinTheRoom)
{
    std::string text;
    for (int i = 0; i < 10; ++i)
        text += "abcdefghi ";
    text.pop_back();  // 99 characters, blanks at 9, 19, ... 89
    EXPECT_EQ(wrap_message(P11, text),
              P11 + " " + text.substr(0, 59) + "\n" + std::string(12, ' ') + text.substr(60) + "\n");
}

TEST(Wrapper, WordLongerThanTheLineIsWrittenWhole)
{
    std::string word(100, 'x');
    EXPECT_EQ(wrap_message(P11, word + " end"), P11 + " " + word + "\n" + std::string(12, ' ') + "end\n");
    EXPECT_EQ(wrap_message(P11, word), P11 + " " + word + "\n");
}

TEST(Wrapper, OneBlankIsConsumedAtABreakAndFurtherBlanksStay)
{
    std::string text = std::string(68, 'a') + "  " + std::string(5, 'b');
    // the break takes the blank at 68; the blank at 69 starts the next line
    EXPECT_EQ(wrap_message(P11, text),
              P11 + " " + std::string(68, 'a') + "\n" + std::string(12, ' ') + " " + std::string(5, 'b') + "\n");
    // the break is at the last blank that fits, even when another precedes it
    text = std::string(60, 'a') + "  " + std::string(20, 'b');
    EXPECT_EQ(wrap_message(P11, text),
              P11 + " " + std::string(60, 'a') + " \n" + std::string(12, ' ') + std::string(20, 'b') + "\n");
}

TEST(Wrapper, PrefixOf65CharactersGoesOnALineOfItsOwn)
{
    std::string prefix(64, 'p');  // w = 65: still on one line
    EXPECT_EQ(wrap_message(prefix, "short"), prefix + " short\n");
    prefix += 'p';  // w = 66
    std::string text = std::string(69, 'a') + " " + std::string(5, 'b');
    EXPECT_EQ(wrap_message(prefix, text),
              prefix + "\n" + std::string(9, ' ') + std::string(69, 'a') + "\n" + std::string(11, ' ') + "bbbbb\n");
}

TEST(Wrapper, EmptyTextAndEmbeddedNewlines)
{
    EXPECT_EQ(wrap_message(P11, ""), P11 + " \n");
    // newlines are not breaks: they count as characters of the text
    std::string text = "line one\n          line two";
    EXPECT_EQ(wrap_message(P11, text), P11 + " " + text + "\n");
}

TEST(PowerOfTwo, SingleBitValues)
{
    EXPECT_TRUE(is_power_of_two(1));
    EXPECT_TRUE(is_power_of_two(2));
    EXPECT_TRUE(is_power_of_two(4));
    EXPECT_TRUE(is_power_of_two(0x80000000u));
    EXPECT_FALSE(is_power_of_two(0));
    EXPECT_FALSE(is_power_of_two(3));
    EXPECT_FALSE(is_power_of_two(0xFFFFFFFFu));
}

TEST(Report, SeveritiesLabelsAndMaximum)
{
    khextest::TestRun run;
    report(run->diagnostics, SEVERITY_WARNING, "first %d", 1);
    report(run->diagnostics, SEVERITY_ERROR, "second");
    report(run->diagnostics, SEVERITY_WARNING, "third");
    EXPECT_EQ(run.console().err, ">> WARNING: first 1\n>>   ERROR: second\n>> WARNING: third\n");
    EXPECT_EQ(run->diagnostics.max_severity, SEVERITY_ERROR);
}

TEST(Report, FatalAppendsAbortingAndEndsTheRun)
{
    khextest::TestRun run;
    int status = 0;
    try {
        fatal(run->diagnostics, "no input files");
    } catch (const RunEnd& end) {
        status = end.status;
    }
    EXPECT_EQ(run.console().err, ">> FATAL ERROR: no input files (aborting)\n");
    EXPECT_EQ(status, 1);
    EXPECT_EQ(run->diagnostics.max_severity, 0);
}

}  // namespace
