// Every truncation of the example COFF file, and every byte of its headers
// flipped in turn: each run ends by itself, converting or with a diagnostic.
#include <gtest/gtest.h>

#include "elf_builder.h"
#include "helpers.h"

using namespace khextest;
using coffgen::Bytes;

namespace {

// Seconds; a Windows program under Wine may first wait for the Wine server.
const double TIME_LIMIT = khextest::testing_windows_program() ? 10.0 : 1.0;

// A run either converts, or says why it did not; nothing crashes or hangs.
void expect_sound_ending(const RunResult& r, const std::string& what)
{
    SCOPED_TRACE(what);
    ASSERT_NE(r.status, TIMED_OUT) << "still running after " << TIME_LIMIT << " s";
    EXPECT_EQ(r.err.find("Sanitizer"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("runtime error"), std::string::npos) << r.err;
    switch (r.status) {
    case 0:
        break;
    case 1:
        EXPECT_NE(r.err.find("ERROR:"), std::string::npos)
            << "a failure without a message; stdout:\n" << r.out << "stderr:\n" << r.err;
        break;
    case 255:
        EXPECT_EQ(r.err, "error reading COFF file - corrupted section header");
        break;
    default:
        ADD_FAILURE() << "exit status " << r.status << "\n" << r.err;
    }
}

class Malformed : public ::testing::Test {
protected:
    void SetUp() override
    {
        coffgen::Coff demo = coffgen::demo_program();
        file_ = demo.build();
        headers_end_ = demo.section_table_offset + 48 * demo.sections.size();
        dir_.write("demo.cmd", "-i -map demo.map -boot -e _main\n");
    }
    RunResult convert(const Bytes& file)
    {
        dir_.write("demo.out", file);
        return run_khex_limited(dir_, {"-q", "demo.cmd", "demo.out"}, TIME_LIMIT);
    }

    TempDir dir_;
    Bytes file_;
    size_t headers_end_ = 0;
};

TEST_F(Malformed, EveryTruncation)
{
    expect_sound_ending(convert(file_), "whole file");
    for (size_t size = 0; size < file_.size(); ++size) {
        std::string what = "cut at ";
        what += std::to_string(size);
        expect_sound_ending(convert(Bytes(file_.begin(), file_.begin() + static_cast<long>(size))), what);
    }
}

TEST_F(Malformed, EveryHeaderByteFlipped)
{
    for (size_t offset = 0; offset < headers_end_; ++offset) {
        Bytes damaged = file_;
        damaged[offset] ^= 0xFF;
        std::string what = "flipped byte ";
        what += std::to_string(offset);
        expect_sound_ending(convert(damaged), what);
    }
}

// The ELF build of the example (in 16-bit words, so that every address is
// doubled): cut anywhere in its headers and every 16th byte after, and every
// byte of its headers and symbols flipped.
TEST_F(Malformed, EveryCutAndFlippedHeaderByteOfAnElfFile)
{
    coffgen::ElfLayout layout;
    const Bytes elf = coffgen::elf_from(coffgen::demo_program(), {.addrunit = 16}, &layout);
    dir_.write("demo.cmd", "-i -map demo.map -boot -e _main -addrunit 16\n");
    expect_sound_ending(convert(elf), "whole ELF file");
    for (size_t size = 0; size < elf.size(); size += size < layout.data ? 1 : 16)
        expect_sound_ending(convert(Bytes(elf.begin(), elf.begin() + static_cast<long>(size))),
                            "ELF cut at " + std::to_string(size));
    for (size_t offset = 0; offset < elf.size(); ++offset) {
        const bool header = offset < layout.data || offset >= layout.section_headers;
        const bool symbol = offset >= layout.symbols && offset < layout.symbols + 16 * 6;
        if (!header && !symbol)
            continue;
        Bytes damaged = elf;
        damaged[offset] ^= 0xFF;
        expect_sound_ending(convert(damaged), "ELF byte flipped at " + std::to_string(offset));
    }
}

// Inserted files are untrusted too: every truncation of a file in each text
// format, and each of its bytes changed, ends a run soundly.
TEST_F(Malformed, EveryTruncationAndChangedByteOfAnInsertedFile)
{
    const std::string files[] = {
        ":020000040000FA\n:0400000001020304F2\n:020004000506EF\n:00000001FF\n",
        "S00600004844521B\nS107000001020304EE\nS10500040506EB\nS5030002FA\nS9030000FC\n",
        "%1661F80000000001020304\n%126208000000040506\n%0E81E800000000\n",
    };
    dir_.write("demo.out", file_);
    for (const std::string& good : files) {
        for (size_t size = 0; size <= good.size(); ++size) {
            for (int change = 0; change < 2; ++change) {
                std::string text = good.substr(0, size);
                if (change && size < good.size())
                    text += static_cast<char>(good[size] ^ 0x01);
                dir_.write("in.hex", text);
                RunResult r = run_khex_limited(
                    dir_, {"-q", "-i", "-memwidth", "8", "-insert", "*DEFAULT*,in.hex", "demo.out"}, TIME_LIMIT);
                expect_sound_ending(r, good.substr(0, 3) + " cut at " + std::to_string(size) +
                                           (change ? ", next byte changed" : ""));
            }
        }
    }
}

}  // namespace
