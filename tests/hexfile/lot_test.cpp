// The lot reader: quoting, line ends, ids and every refusal with its line.
#include <gtest/gtest.h>

#include "hexfile/lot.h"

using namespace khex;

namespace {

TEST(LotFile, ReadsQuotedValuesAndEitherLineEnd)
{
    Lot lot;
    LotError error;
    ASSERT_TRUE(read_lot("\xEF\xBB\xBFserial,id,model\r\n17,A-1,\"K7, rev \"\"B\"\"\"\n18,b.2,\"two\nlines\"\n0x13,c_3,",
                         lot, error))
        << error.line << ": " << error.text;
    ASSERT_EQ(lot.units.size(), 3u);
    EXPECT_EQ(lot.id_column, 1u);
    EXPECT_EQ(lot.units[0].values, (std::vector<std::string>{"17", "A-1", "K7, rev \"B\""}));
    EXPECT_EQ(lot.units[1].values[2], "two\nlines");
    EXPECT_EQ(lot.units[2].line, 5u);  // the quoted line end counts
    EXPECT_EQ(lot.units[2].values[2], "");
    EXPECT_EQ(lot_column(lot, "model"), 2);
    EXPECT_EQ(lot_column(lot, "Model"), -1);
}

TEST(LotFile, RefusesWhatItCannotTrustWithTheLine)
{
    using namespace std::string_literals;
    const struct {
        std::string text;
        unsigned line;
        const char* message;
    } rows[] = {
        {"", 1, "no header row"},
        {"serial,mac\n1,2\n", 1, "no column 'id'"},
        {"id,serial,serial\n", 1, "column 'serial' is named twice"},
        {"id,,x\n", 1, "column 2 has no name"},
        {"id\n", 2, "no units"},
        {"id,serial\nA,1\nB\n", 3, "1 values where the header names 2 columns"},
        {"id,serial\nA,1\nB,2,3\n", 3, "3 values where the header names 2 columns"},
        {"id,serial\nA,1\n\nB,2\n", 3, "an empty row"},
        {"id,serial\nA,1\nA,2\n", 3, "id 'A' repeats line 2"},
        {"id\n.hidden\n", 2, "id '.hidden'"},
        {"id\na/b\n", 2, "id 'a/b'"},
        {"id\n\"a b\"\n", 2, "id 'a b'"},
        {"id,x\nA,\"open\nB,2\n", 2, "a quoted value that the file does not close"},
        {"id,x\nA,\"q\"x\n", 2, "text after a quoted value's closing quote"},
        {"id,x\nA,a\"b\n", 2, "a quote inside an unquoted value"},
        {"id,x\nA,1\rB,2\n", 2, "a carriage return without a line feed"},
        {"id,x\nA,\0\n"s, 2, "a NUL byte"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        Lot lot;
        LotError error;
        EXPECT_FALSE(read_lot(row.text, lot, error));
        EXPECT_EQ(error.line, row.line);
        EXPECT_NE(error.text.find(row.message), std::string::npos) << error.text;
    }
}

TEST(LotFile, HoldsAtMostItsLimitOfUnits)
{
    std::string text = "id\n";
    for (size_t i = 0; i <= MAX_LOT_UNITS; ++i) {
        text += 'u';
        text += std::to_string(i);
        text += '\n';
    }
    Lot lot;
    LotError error;
    EXPECT_FALSE(read_lot(text, lot, error));
    EXPECT_EQ(error.line, MAX_LOT_UNITS + 2);
    EXPECT_NE(error.text.find("more than 100000 units"), std::string::npos);
    text.resize(text.rfind('u'));
    EXPECT_TRUE(read_lot(text, lot, error)) << error.text;
    EXPECT_EQ(lot.units.size(), MAX_LOT_UNITS);
}

}  // namespace
