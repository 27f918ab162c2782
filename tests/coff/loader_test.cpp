#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "coff_builder.h"
#include "test_run.h"

using namespace khex;

namespace {

struct Piece {
    uint32_t address;
    std::vector<uint8_t> bytes;
    bool tail_zeroed;
};
std::vector<Piece> pieces;

void record_piece(int, uint8_t* data, int nbytes, uint32_t address)
{
    // the contract for raw data: every byte after the piece up to the end of the
    // loader's buffer is zero
    bool zeroed = true;
    for (int i = nbytes; i < LOADBUFSIZE; ++i)
        zeroed &= data[i] == 0;
    pieces.push_back({address, std::vector<uint8_t>(data, data + nbytes), zeroed});
}

// A file of raw bytes as the COFF input, sections described directly.
class Loader : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (run_)
            TearDown();
        run_ = std::make_unique<khextest::TestRun>();
        pieces.clear();
        file_ = std::tmpfile();
        (*run_)->coff.file = file_;
    }
    void TearDown() override
    {
        (*run_)->coff.file = nullptr;
        std::fclose(file_);
        run_.reset();
    }
    CoffState& coff() { return (*run_)->coff; }
    // Loads every section in the table's order.
    bool load()
    {
        std::vector<int> order(coff().sections.size());
        for (size_t i = 0; i < order.size(); ++i)
            order[i] = static_cast<int>(i);
        CoffReader reader{coff(), (*run_)->diagnostics, (*run_)->options};
        auto sink = record_piece;
        auto no_steps = [](int) {};
        return load_sections(reader, order, sink, no_steps);
    }
    uint32_t add_data(const coffgen::Bytes& bytes)
    {
        std::fseek(file_, 0, SEEK_END);
        uint32_t offset = static_cast<uint32_t>(std::ftell(file_));
        if (!bytes.empty())
            std::fwrite(bytes.data(), 1, bytes.size(), file_);
        std::fflush(file_);
        return offset;
    }
    SectionHeader& add_section(const char* name, uint32_t vaddr, const coffgen::Bytes& bytes, uint32_t flags = 0)
    {
        SectionHeader s{};
        std::snprintf(s.s_name, sizeof s.s_name, "%s", name);
        s.name = name;
        s.s_vaddr = s.s_paddr = vaddr;
        s.s_size = static_cast<uint32_t>(bytes.size());
        s.s_scnptr = add_data(bytes);
        s.s_flags = flags;
        coff().sections.push_back(s);
        return coff().sections.back();
    }
    std::unique_ptr<khextest::TestRun> run_;
    FILE* file_;
};

TEST_F(Loader, ASectionOfOneBufferIsOnePiece)
{
    add_data({0xEE});  // keep offset 0 free: it means "no raw data"
    add_section(".text", 0x100, coffgen::pattern(LOADBUFSIZE));
    ASSERT_TRUE(load());
    ASSERT_EQ(pieces.size(), 1u);
    EXPECT_EQ(pieces[0].address, 0x100u);
    EXPECT_EQ(pieces[0].bytes, coffgen::pattern(LOADBUFSIZE));
}

TEST_F(Loader, OneByteMoreIsASecondPieceWithAZeroedTail)
{
    add_data({0xEE});
    coffgen::Bytes data = coffgen::pattern(LOADBUFSIZE + 1, 7);
    add_section(".text", 0x100, data);
    ASSERT_TRUE(load());
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(pieces[0].bytes.size(), static_cast<size_t>(LOADBUFSIZE));
    EXPECT_EQ(pieces[1].address, 0x100u + LOADBUFSIZE);
    EXPECT_EQ(pieces[1].bytes, coffgen::Bytes{data.back()});
    EXPECT_TRUE(pieces[1].tail_zeroed);
}

TEST_F(Loader, SkippedSectionsAndCopyCinitLast)
{
    add_data({0xEE});
    add_section(".cinit", 0x500, coffgen::cinit_record(0x900, {1, 2}, false), STYP_COPY);
    add_section(".dummy", 0x10, {1}, STYP_DSECT);
    add_section(".noload", 0x20, {2}, STYP_NOLOAD);
    add_section(".copy", 0x30, {3}, STYP_COPY);
    add_section(".empty", 0x40, {});
    SectionHeader& bss = add_section(".bss", 0x50, {4});
    bss.s_scnptr = 0;
    add_section(".text", 0x60, {5, 6});
    ASSERT_TRUE(load());
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(pieces[0].address, 0x60u);
    EXPECT_EQ(pieces[1].address, 0x900u);
    EXPECT_EQ(pieces[1].bytes, (coffgen::Bytes{1, 2}));
}

TEST_F(Loader, CinitRecordsInEitherByteOrder)
{
    add_data({0xEE});
    coff().target_big_endian = true;
    add_section(".cinit", 0, {0x00, 0x02, 0x00, 0x00, 0x10, 0x00, 1, 2, 3, 4, 0x00, 0x00, 9, 9}, STYP_COPY);
    ASSERT_TRUE(load());
    ASSERT_EQ(pieces.size(), 1u);  // the zero count ends the records
    EXPECT_EQ(pieces[0].address, 0x1000u);
    EXPECT_EQ(pieces[0].bytes, (coffgen::Bytes{1, 2, 3, 4}));

    SetUp();
    add_data({0xEE});
    add_section(".cinit", 0, {0x02, 0x00, 0x00, 0x10, 0x00, 0x00, 1, 2, 3, 4}, STYP_COPY);
    ASSERT_TRUE(load());
    ASSERT_EQ(pieces.size(), 1u);
    EXPECT_EQ(pieces[0].address, 0x1000u);
}

TEST_F(Loader, RecordsCrossingPiecesAreSplitOrCarried)
{
    add_data({0xEE});
    // first record fills the first piece but 2 bytes; its header is 6 bytes
    coffgen::Bytes data = coffgen::cinit_record(0x2000, coffgen::pattern(LOADBUFSIZE - 8), false);
    coffgen::Bytes crossing = coffgen::cinit_record(0x8000, coffgen::pattern(8, 0x40), false);
    data.insert(data.end(), crossing.begin(), crossing.end());  // header split by the piece end
    coffgen::Bytes third = coffgen::cinit_record(0x9000, coffgen::pattern(LOADBUFSIZE, 1), false);
    data.insert(data.end(), third.begin(), third.end());  // data crossing the next piece end
    add_section(".cinit", 0, data, STYP_COPY);
    ASSERT_TRUE(load());
    ASSERT_EQ(pieces.size(), 4u);
    EXPECT_EQ(pieces[0].address, 0x2000u);
    EXPECT_EQ(pieces[1].address, 0x8000u);
    EXPECT_EQ(pieces[1].bytes, coffgen::pattern(8, 0x40));
    EXPECT_EQ(pieces[2].address, 0x9000u);
    EXPECT_EQ(pieces[3].address, 0x9000u + pieces[2].bytes.size());
    EXPECT_EQ(pieces[2].bytes.size() + pieces[3].bytes.size(), static_cast<size_t>(LOADBUFSIZE));
}

TEST_F(Loader, DataEndingInsideARecordHeaderIsAReadError)
{
    add_data({0xEE});
    add_section(".cinit", 0, {0x01, 0x00, 0x00}, STYP_COPY);
    EXPECT_FALSE(load());
    EXPECT_EQ(coff().load_failure, LOAD_READ_ERROR);
}

TEST_F(Loader, RawDataPastTheEndOfTheFileIsAReadError)
{
    add_data({0xEE});
    SectionHeader& s = add_section(".text", 0, {1, 2, 3});
    s.s_size = 100;
    EXPECT_FALSE(load());
    EXPECT_EQ(coff().load_failure, LOAD_READ_ERROR);
}

TEST(ExtractField, TargetByteOrder)
{
    const uint8_t bytes[] = {0x12, 0x34, 0x56, 0x78};
    CoffState coff;
    coff.target_big_endian = true;
    EXPECT_EQ(extract_field(coff, bytes, 16), 0x1234u);
    EXPECT_EQ(extract_field(coff, bytes, 32), 0x12345678u);
    coff.target_big_endian = false;
    EXPECT_EQ(extract_field(coff, bytes, 16), 0x3412u);
    EXPECT_EQ(extract_field(coff, bytes, 32), 0x78563412u);
}

TEST(SymbolHash, TheTwoExamplesAndSignedCharacters)
{
    EXPECT_EQ(symbol_hash("ab"), 160u);
    EXPECT_EQ(symbol_hash("\xE9"), 863u);
    EXPECT_EQ(symbol_hash(""), 0u);
    EXPECT_LT(symbol_hash("a_rather_long_symbol_name_to_wrap_the_shifts_around"), SYMBOL_BUCKETS);
}

TEST(NameResolution, InlineAndStringTableNames)
{
    CoffState coff;
    const uint8_t eight[8] = {'.', 'e', 'i', 'g', 'h', 't', 'c', 'h'};
    std::string name;
    ASSERT_TRUE(resolve_name(coff, eight, name));
    EXPECT_EQ(name, ".eightch");
    const uint8_t short_name[8] = {'.', 't', 0, 'x', 'y', 0, 0, 0};
    ASSERT_TRUE(resolve_name(coff, short_name, name));
    EXPECT_EQ(name, ".t");

    const char table[] = "first\0second\0tail";  // "tail" has no NUL: not part of any name
    coff.string_table.assign(table, table + sizeof table - 1);
    coff.string_table_used = 13;
    uint8_t field[8] = {0, 0, 0, 0, 10, 0, 0, 0};
    ASSERT_TRUE(resolve_name(coff, field, name));
    EXPECT_EQ(name, "second");
    field[4] = 4;
    ASSERT_TRUE(resolve_name(coff, field, name));
    EXPECT_EQ(name, "first");
    field[4] = 3;  // offsets count from the length field: below 4 is inside it
    EXPECT_FALSE(resolve_name(coff, field, name));
    field[4] = 17;  // inside "tail"
    EXPECT_FALSE(resolve_name(coff, field, name));
    field[4] = 0;
    field[7] = 0x80;
    EXPECT_FALSE(resolve_name(coff, field, name));
}

}  // namespace
