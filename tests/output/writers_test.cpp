// Each writer driven through the framework with a synthetic range; Intel,
// Motorola and Extended Tektronix files are also decoded with objcopy.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "runner.h"
#include "output/framework.h"
#include "test_run.h"

using namespace khex;
using coffgen::Bytes;

namespace {

khex::ByteOwner owned_by(const void* key)
{
    khex::ByteOwner owner;
    owner.key = key;
    return owner;
}

std::string stream_name(int i)
{
    std::string name = "f";
    name += static_cast<char>('0' + i);
    return name;
}

// One range written by the framework into files of a temporary directory:
// only the output's own records, its settings and a console of its own.
class RangeWriter {
public:
    RangeWriter(int format, int memwidth, int romwidth, uint32_t origin = 0)
        : err_file(std::tmpfile())
    {
        settings.format = &output_formats[format];
        settings.order = ORDER_LS;
        diagnostics.console = Console{err_file, err_file};
        range_record.name = "r";
        range_record.origin = origin;
        range_record.end = 0xFFFFFFFF;
        range_record.memwidth = memwidth;
        range_record.romwidth = romwidth;
        range_record.file_count = romwidth < memwidth ? memwidth / romwidth : 1;
        for (int i = 0; i < range_record.file_count; ++i)
            range_record.files.push_back(dir.file(stream_name(i)));
        spec.name = ".text";
        owner = &spec;
        range = &range_record;
        address = origin;
    }
    ~RangeWriter()
    {
        discard_pending_files(pending);
        std::fclose(err_file);
    }
    void write(const Bytes& bytes, int period = 0)
    {
        if (!started) {
            start_output(output, settings, diagnostics, pending);
            started = true;
        }
        write_range_data(output, *range, address, bytes.data(), static_cast<int>(bytes.size()), period,
                         owned_by(owner));
        address += static_cast<uint32_t>(bytes.size());
    }
    void gap_to(uint32_t a) { address = a; }
    void close()
    {
        close_range_files(output);
        const PendingFile* failed = nullptr;
        ASSERT_TRUE(commit_pending_files(pending, failed));
    }
    std::string err() const { return khextest::read_all(err_file); }
    std::string file(int i = 0) const { return dir.read(stream_name(i)); }
    Bytes decoded(const std::string& input_format, int i = 0) const
    {
        std::string bytes = khextest::objcopy_decode(dir, stream_name(i), input_format);
        return Bytes(bytes.begin(), bytes.end());
    }

    khextest::TempDir dir;
    FILE* err_file;
    OutputSettings settings;
    Diagnostics diagnostics;
    PendingFiles pending;
    OutputState output;
    bool started = false;
    RomRange range_record{};
    RomRange* range;
    uint32_t address;
    SectionSpec spec{};
    const void* owner;
};

// Recomputes an Extended Tektronix record's length and checksum, which
// objcopy's reader does not check.
void expect_tektronix_fields(const std::string& text)
{
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        ASSERT_EQ(line[0], '%');
        EXPECT_EQ(std::stoul(line.substr(1, 2), nullptr, 16), line.size() - 1) << line;
        unsigned sum = 0;
        for (size_t i = 1; i < line.size(); ++i)
            if (i != 4 && i != 5)
                sum += static_cast<unsigned>(std::stoul(line.substr(i, 1), nullptr, 16));
        EXPECT_EQ(std::stoul(line.substr(4, 2), nullptr, 16), sum & 0xFF) << line;
    }
}

// One write at one address, and the whole file each format makes of it.
TEST(Writers, OneWriteInEachFormat)
{
    struct Case {
        int format, width;
        uint32_t address;
        Bytes data;
        std::string file;
    };
    const Case cases[] = {
        {FORMAT_INTEL, 1, 0x100, {1, 2, 3, 4}, ":0401000001020304F1\n:00000001FF\n"},
        // the extended linear address record comes with the first high address
        {FORMAT_INTEL, 1, 0x12345, {0xAA, 0xBB}, ":020000040001F9\n:02234500AABB31\n:00000001FF\n"},
        {FORMAT_MOTOROLA_S3, 1, 0x12345678, {1, 2}, "S00600004844521B\nS307123456780102E1\nS70500000000FA\n"},
        {FORMAT_TEKTRONIX, 1, 0x1000, {0xAB, 0xCD}, "%12640800001000ABCD\n%0E81E800000000\n"},
        {FORMAT_ZQ_TAGGED, 2, 0x100, {0x12, 0x34, 0x56, 0x78},
         "K0000COFFTOZQ90100B1234B56787F930F" + std::string(38, ' ') + "COFFTOZQ\n:\n"},
        {FORMAT_DEBUG, 1, 0x1000, {0xAB, 0xCD},
         "*** FILE HEADER ***\nADDR:00001000: DATA:AB CD :END:\n*** FILE FOOTER ***\n"},
    };
    for (const Case& c : cases) {
        RangeWriter w(c.format, c.width, c.width);
        w.gap_to(c.address);
        w.write(c.data);
        w.close();
        EXPECT_EQ(w.file(), c.file) << output_formats[c.format].name;
    }
    RangeWriter tektronix(FORMAT_TEKTRONIX, 1, 1);
    tektronix.gap_to(0x1000);
    tektronix.write({0xAB, 0xCD});
    tektronix.close();
    EXPECT_EQ(tektronix.decoded("tekhex"), (Bytes{0xAB, 0xCD}));
}

// A writer needs nothing but its context and its stream: the record address,
// the entry point and the warning owner come from the context alone.
TEST(WriterContext, AWriterReadsOnlyItsContextAndStream)
{
    struct Case {
        int format;
        std::string file;
    };
    const Case cases[] = {
        {FORMAT_INTEL, ":020000040001F9\n:0234560012342E\n:00000001FF\n"},
        {FORMAT_TEKTRONIX, "%1262E8000134561234\n%0E85A8000ABCDE\n"},
        {FORMAT_MOTOROLA_S1, "S00600004844521B\nS105345612342A\nS9030000FC\n"},
    };
    for (const Case& c : cases) {
        FILE* file = std::tmpfile();
        FILE* err = std::tmpfile();
        Diagnostics diagnostics;
        diagnostics.console = Console{err, err};
        const std::string name = "lane";
        OutputStream stream{};
        stream.file = file;
        stream.line.resize(256);
        stream.name = &name;
        stream.block.resize(OUTPUT_BLOCK);
        WriterContext w;
        w.record_address = 0x13456;
        w.entry_point = 0xABCDE;
        w.variant = output_formats[c.format].variant;
        w.diagnostics = &diagnostics;
        w.owner = &name;
        const uint8_t bytes[] = {0x12, 0x34};
        const RecordWriter writer = output_formats[c.format].writer;
        writer(w, OP_START_FILE, stream, nullptr, 0);
        writer(w, OP_NEW_ADDRESS, stream, nullptr, 0);
        writer(w, OP_DATA, stream, bytes, 2);
        writer(w, OP_END_RECORD, stream, nullptr, 0);
        writer(w, OP_END_FILE, stream, nullptr, 0);
        flush_block(w, stream);
        const std::string text = khextest::read_all(file);
        EXPECT_EQ(text, c.file) << output_formats[c.format].name;
        if (c.format == FORMAT_TEKTRONIX)
            expect_tektronix_fields(text);
        // S1 records cut the address, with a warning naming it
        EXPECT_EQ(khextest::read_all(err),
                  c.format == FORMAT_MOTOROLA_S1
                      ? ">> WARNING: address 0x00013456 exceeds 4 digits - truncated (use -m or -m2)\n"
                      : "");
        std::fclose(file);
        std::fclose(err);
    }
}

TEST(IntelWriter, ContiguousDataAcross64k)
{
    RangeWriter w(FORMAT_INTEL, 1, 1);
    Bytes data = coffgen::pattern(0x20000, 3);
    w.write(data);
    w.close();
    std::string text = w.file();
    size_t ela = text.find(":020000040001F9\n");
    ASSERT_NE(ela, std::string::npos);
    EXPECT_EQ(ela, 2048u * 76u);  // after 2048 records of 32 bytes
    EXPECT_EQ(text.substr(ela + 16, 9), ":20000000");
    EXPECT_EQ(text.substr(text.size() - 12), ":00000001FF\n");
    EXPECT_EQ(w.decoded("ihex"), data);
}

TEST(MotorolaWriter, HeaderCountsAndEndRecordOfEachType)
{
    const std::pair<int, std::string> expected[] = {
        {FORMAT_MOTOROLA_S1, "S1131000000102030405060708090A0B0C0D0E0F64\nS9030000FC\n"},
        {FORMAT_MOTOROLA_S2, "S214001000000102030405060708090A0B0C0D0E0F63\nS804000000FB\n"},
        {FORMAT_MOTOROLA, "S214001000000102030405060708090A0B0C0D0E0F63\nS804000000FB\n"},
        {FORMAT_MOTOROLA_S3, "S31500001000000102030405060708090A0B0C0D0E0F62\nS70500000000FA\n"},
    };
    for (const auto& [format, records] : expected) {
        RangeWriter w(format, 1, 1);
        w.gap_to(0x1000);
        w.write(coffgen::pattern(16));
        w.close();
        EXPECT_EQ(w.file(), "S00600004844521B\n" + records) << format;
        Bytes decoded = w.decoded("srec");
        EXPECT_EQ(Bytes(decoded.end() - 16, decoded.end()), coffgen::pattern(16));
    }
}

TEST(MotorolaWriter, CutAddressesWarnOncePerSection)
{
    RangeWriter w(FORMAT_MOTOROLA_S1, 1, 1);
    SectionSpec other{};
    other.name = ".data";
    w.gap_to(0x12000);
    w.write({1, 2});
    w.gap_to(0x13000);
    w.write({3, 4});
    w.owner = &other;
    w.gap_to(0x1000000);
    w.write({5, 6});
    w.close();
    EXPECT_EQ(w.err(),
              ">> WARNING: address 0x00012000 exceeds 4 digits - truncated (use -m or -m2)\n"
              ">> WARNING: address 0x01000000 exceeds 4 digits - truncated (use -m or -m2)\n");
    EXPECT_NE(w.file().find("S10520000102D7\n"), std::string::npos);
}

TEST(MotorolaWriter, S2WarnsAboutAddressesAbove24Bits)
{
    RangeWriter s2(FORMAT_MOTOROLA_S2, 1, 1);
    s2.gap_to(0x01000000);
    s2.write({1, 2});
    s2.close();
    EXPECT_EQ(s2.err(), ">> WARNING: address 0x01000000 exceeds 6 digits - truncated (use -m3)\n");
    EXPECT_EQ(s2.file(), "S00600004844521B\nS2060000000102F6\nS804000000FB\n");
}

TEST(TektronixWriter, ChecksumOfDigitValuesOverManyRecords)
{
    RangeWriter long_run(FORMAT_TEKTRONIX, 1, 1);
    Bytes data = coffgen::pattern(1000, 9);
    long_run.write(data);
    long_run.close();
    expect_tektronix_fields(long_run.file());
    EXPECT_EQ(long_run.decoded("tekhex"), data);
}

TEST(ZqTaggedWriter, LinesContinueWithoutAddressesAndOddBytesGetStars)
{
    RangeWriter w(FORMAT_ZQ_TAGGED, 1, 1);
    w.write(coffgen::pattern(20));
    w.close();
    std::string text = w.file();
    // the first line holds the header, the address and data up to column 62
    EXPECT_EQ(text.substr(0, 22), "K0000COFFTOZQ90000*00*");
    size_t second = text.find('\n') + 1;
    EXPECT_EQ(text[second], '*');  // no new address tag on the next line
    EXPECT_EQ(text.substr(text.size() - 2), ":\n");
    for (size_t at = 0; at + 2 < text.size(); at = text.find('\n', at) + 1)
        EXPECT_EQ(text.find('\n', at) - at, 80u);
}

TEST(ZqTaggedWriter, AddressesAbove16BitsWarnOnce)
{
    RangeWriter w(FORMAT_ZQ_TAGGED, 2, 2);
    w.gap_to(0x10000);
    w.write({1, 2});
    w.gap_to(0x10010);
    w.write({3, 4});
    w.close();
    EXPECT_EQ(w.err(), ">> WARNING: address 0x00010000 exceeds 4 digits - truncated\n");
}

TEST(AsciiHexWriter, LinesOf24BytesAndAddressMarksAtGaps)
{
    RangeWriter w(FORMAT_ASCII_HEX, 1, 1);
    w.write(coffgen::pattern(25));
    w.gap_to(0x30);
    w.write({0xEE});
    w.close();
    std::string first;
    for (int i = 0; i < 24; ++i) {
        char pair[4];
        std::snprintf(pair, sizeof pair, "%02X ", i);
        first += pair;
    }
    EXPECT_EQ(w.file(), "\x02\n" + first + "\n18 \n$A0030,\nEE \n\x03");
}

TEST(GenericWriter, WordsPerLineAndAddressPrefixes)
{
    RangeWriter w(FORMAT_GENERIC, 2, 2);
    w.settings.line_words = 4;
    w.gap_to(0x100);
    w.write(coffgen::pattern(18));
    w.gap_to(0x200);
    w.write({0xAA, 0xBB});
    w.close();
    EXPECT_EQ(w.file(),
              "ADDRESS\tDATA\n-------\t----\n"
              "0100\t0001 0203 0405 0607 \n"
              "0108\t0809 0A0B 0C0D 0E0F \n"
              "0110\t1011 \n"
              "0200\tAABB \n");
}

TEST(GenericWriter, ByteWordsStopBefore100Characters)
{
    RangeWriter w(FORMAT_GENERIC, 1, 1);
    w.settings.line_words = 40;
    w.write(coffgen::pattern(40));
    w.close();
    std::string text = w.file();
    size_t first = text.find("0000\t");
    size_t end = text.find('\n', first);
    EXPECT_EQ(end - first - 5, 99u);  // 33 words of 3 characters
    EXPECT_EQ(text.substr(end + 1, 5), "0021\t");
}

TEST(BinaryWriter, BytesAfterAGapFollowDirectly)
{
    RangeWriter w(FORMAT_BINARY, 1, 1);
    w.write({1, 2});
    w.gap_to(0x100);
    w.write({3});
    w.close();
    EXPECT_EQ(w.file(), std::string("\x01\x02\x03", 3));
}

TEST(Lanes, EachByteOfAWordGoesToItsOwnFile)
{
    RangeWriter w(FORMAT_DEBUG, 2, 1);
    w.write({1, 2, 3, 4});
    w.close();
    EXPECT_EQ(w.file(0), "*** FILE HEADER ***\nADDR:00000000: DATA:01 03 :END:\n*** FILE FOOTER ***\n");
    EXPECT_EQ(w.file(1), "*** FILE HEADER ***\nADDR:00000000: DATA:02 04 :END:\n*** FILE FOOTER ***\n");

    RangeWriter ms(FORMAT_DEBUG, 2, 1);
    ms.settings.order = ORDER_MS;
    ms.write({1, 2, 3, 4});
    ms.close();
    EXPECT_EQ(ms.file(0), "*** FILE HEADER ***\nADDR:00000000: DATA:02 04 :END:\n*** FILE FOOTER ***\n");
}

TEST(Lanes, RomWiderThanMemoryTakesChunksOfTheRomWidth)
{
    RangeWriter w(FORMAT_DEBUG, 2, 4);
    w.write({1, 2, 3, 4, 5, 6});
    w.gap_to(0x10);
    w.write({7, 8});
    w.close();
    EXPECT_EQ(w.file(), "*** FILE HEADER ***\nADDR:00000000: DATA:01020304 0506 :END:\n"
                        "ADDR:00000010: DATA:0708 :END:\n*** FILE FOOTER ***\n");
}

TEST(Lanes, ZeroBasedNumberingIgnoresGaps)
{
    RangeWriter w(FORMAT_DEBUG, 1, 1, 0x100);
    w.settings.zero = true;
    w.write({1});
    w.gap_to(0x180);
    w.write({2});
    w.close();
    EXPECT_EQ(w.file(), "*** FILE HEADER ***\nADDR:00000000: DATA:01 02 :END:\n*** FILE FOOTER ***\n");
}

// Data bytes in the first record, for data operations of 1, 2 and 4 bytes.
int first_record_bytes(int format, const std::string& text)
{
    std::string line = text.substr(0, text.find('\n'));
    switch (format) {
    case FORMAT_INTEL: return static_cast<int>(line.size() - 11) / 2;
    case FORMAT_TEKTRONIX: return static_cast<int>(line.size() - 15) / 2;
    default: {  // Motorola: skip the S0 header line
        std::string record = text.substr(text.find('\n') + 1);
        record = record.substr(0, record.find('\n'));
        int address = record[1] == '1' ? 4 : record[1] == '2' ? 6 : 8;
        return static_cast<int>(record.size() - 4 - address - 2) / 2;
    }
    }
}

TEST(RecordLengths, DataBytesPerRecordByOperationSize)
{
    struct Row {
        int format;
        int bytes[3];
    };
    const Row rows[] = {
        {FORMAT_INTEL, {32, 32, 32}},       {FORMAT_MOTOROLA_S1, {31, 32, 32}},
        {FORMAT_MOTOROLA_S2, {30, 30, 32}}, {FORMAT_MOTOROLA_S3, {29, 30, 32}},
        {FORMAT_TEKTRONIX, {32, 32, 32}},
    };
    for (const Row& row : rows) {
        for (int i = 0; i < 3; ++i) {
            int width = 1 << i;
            RangeWriter w(row.format, width, width);
            Bytes data = coffgen::pattern(256);
            w.write(data);
            w.close();
            EXPECT_EQ(first_record_bytes(row.format, w.file()), row.bytes[i]) << row.format << " width " << width;
            const char* decoder = row.format == FORMAT_INTEL ? "ihex" : row.format == FORMAT_TEKTRONIX ? "tekhex" : "srec";
            EXPECT_EQ(w.decoded(decoder), data);
        }
    }
}

TEST(WideRoms, TheWidestAcceptedRomWidthFitsEveryTextFormat)
{
    for (int format = 0; format < format_count; ++format) {
        // the widest ROM in bytes that divides the load buffer and, for formats
        // with count fields, fits a record
        int widest = format == FORMAT_INTEL || (format >= FORMAT_MOTOROLA && format <= FORMAT_MOTOROLA_S3) ? 192
                     : format == FORMAT_TEKTRONIX                                                        ? 64
                     : output_formats[format].device_words                                               ? 4
                                                                                                          : 24576;
        RangeWriter w(format, 2, widest);
        Bytes data = coffgen::pattern(widest, 5);
        w.write(data);
        w.write(data);
        w.close();
        std::string text = w.file();
        if (format == FORMAT_BINARY) {
            EXPECT_EQ(text.size(), 2u * widest);
        } else {
            EXPECT_GT(text.size(), 4u * widest) << output_formats[format].name;  // two digits a byte
        }
        if (format == FORMAT_INTEL) {
            EXPECT_EQ(w.decoded("ihex").size(), 2u * widest);
        }
        if (format >= FORMAT_MOTOROLA && format <= FORMAT_MOTOROLA_S3) {
            EXPECT_EQ(w.decoded("srec").size(), 2u * widest);
        }
        if (format == FORMAT_TEKTRONIX) {
            EXPECT_EQ(w.decoded("tekhex").size(), 2u * widest);
            expect_tektronix_fields(text);
        }
    }
}

TEST(WriteErrors, AFullDeviceEndsTheRunWithTheSystemText)
{
    RangeWriter w(FORMAT_INTEL, 1, 1);
    w.range->files[0] = "/dev/full";
    int status = 0;
    try {
        w.write(coffgen::pattern(64));
        w.close();
    } catch (const RunEnd& end) {
        status = end.status;
    }
    EXPECT_EQ(status, 1);
    EXPECT_EQ(w.err(),
              ">> FATAL ERROR: error writing output file '/dev/full': No space left on device\n"
              "                (aborting)\n");
}

// Image fill repeats its words: a writer may reuse the digits of a record it
// wrote already, and every record still gets its own address and checksum,
// across a 64 KiB boundary, a new address and the end of the data.
TEST(RepeatedFill, RecordsOfReusedDigitsEqualThoseWrittenByteByByte)
{
    struct Case {
        int format, memwidth, romwidth, period;
    };
    const Case cases[] = {
        {FORMAT_INTEL, 1, 1, 2}, {FORMAT_INTEL, 2, 1, 1}, {FORMAT_MOTOROLA_S3, 1, 1, 2},
        {FORMAT_TEKTRONIX, 2, 1, 1}, {FORMAT_INTEL, 4, 2, 1},
    };
    for (const Case& c : cases) {
        Bytes fill;
        for (int w = 0; w < 0x1000; ++w)
            for (int k = 0; k < c.memwidth; ++k)
                fill.push_back(c.memwidth == 1 ? (w % 2 ? 0x5A : 0xA5) : static_cast<uint8_t>(0xC0 + k));
        // an odd origin puts the records after the 64 KiB boundary at the odd
        // phase of alternating fill bytes
        const uint32_t origin = c.period == 2 ? 0xF7F1 : 0xF7F0;
        RangeWriter reused(c.format, c.memwidth, c.romwidth, origin);
        RangeWriter plain(c.format, c.memwidth, c.romwidth, origin);
        for (int i = 0; i < 9; ++i) {  // past 0x10000, then a gap and an odd tail
            reused.write(fill, c.period);
            plain.write(fill);
        }
        reused.gap_to(0x30001);
        plain.gap_to(0x30001);
        reused.write(Bytes(fill.begin(), fill.begin() + 3 * c.memwidth), c.period);
        plain.write(Bytes(fill.begin(), fill.begin() + 3 * c.memwidth));
        reused.close();
        plain.close();
        for (int i = 0; i < c.memwidth / c.romwidth; ++i)
            EXPECT_EQ(reused.file(i), plain.file(i)) << output_formats[c.format].name << " lane " << i;
        if (c.memwidth == c.romwidth) {  // one lane: the decoded bytes are the fill, the gap and the tail
            const char* decoder = c.format == FORMAT_INTEL ? "ihex" : c.format == FORMAT_TEKTRONIX ? "tekhex" : "srec";
            Bytes decoded = reused.decoded(decoder);
            ASSERT_EQ(decoded.size(), 0x30001u + 3u - origin) << output_formats[c.format].name;
            EXPECT_EQ(Bytes(decoded.begin(), decoded.begin() + 0x1000), fill) << output_formats[c.format].name;
        }
    }
}

TEST(FormatTable, EveryRowHasNameUnitExtensionAndWriter)
{
    for (int i = 0; i < format_count; ++i) {
        const OutputFormat& f = output_formats[i];
        EXPECT_NE(std::string(f.name), "");
        EXPECT_EQ(f.unit, i == FORMAT_ZQ_TAGGED ? 2 : 1);
        EXPECT_EQ(std::string(f.extension).size(), 4u);
        EXPECT_EQ(std::string(f.extension).substr(2), "00");
        EXPECT_NE(f.writer, nullptr);
        EXPECT_EQ(f.binary, i == FORMAT_BINARY);
    }
    EXPECT_STREQ(output_formats[FORMAT_TEKTRONIX].name, "Extended Tektronix");
    EXPECT_STREQ(output_formats[FORMAT_MOTOROLA_S3].extension, ".m00");
}

}  // namespace
