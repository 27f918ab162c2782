// What the record parsers of the hex readers share: one record as a parser
// sees it, the state a file's records carry from one to the next, and the
// digits of hex text.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/text.h"

namespace khex {

// The longest record line any of the formats can hold: an Intel record of
// 255 bytes is 521 characters.
constexpr size_t HEX_LINE_LIMIT = 600;

struct HexRecord {
    enum Kind { DATA, END, OTHER };
    Kind kind = OTHER;
    uint32_t address = 0;   // DATA: of the first byte
    uint32_t length = 0;    // DATA: bytes in data
    uint8_t data[256];
};

// What one record leaves for the next.
struct HexParse {
    uint32_t base = 0;          // Intel: the extended segment or linear address
    uint64_t data_records = 0;  // Motorola: S1, S2 and S3 records so far, for S5 and S6
    bool lenient_count = false; // a count record that disagrees is a note, not an error
    std::string note;           // the first such disagreement
};

// Parses one line (without its line end); false with the reason in error.
using RecordParser = bool (*)(const char* line, size_t n, HexParse& state, HexRecord& record, std::string& error);

bool parse_intel(const char* line, size_t n, HexParse& state, HexRecord& record, std::string& error);
bool parse_motorola(const char* line, size_t n, HexParse& state, HexRecord& record, std::string& error);
bool parse_tektronix(const char* line, size_t n, HexParse& state, HexRecord& record, std::string& error);


// n hex digits from text as a number; false when one is not a hex digit.
inline bool hex_number(const char* text, size_t n, uint32_t& value)
{
    value = 0;
    for (size_t i = 0; i < n; ++i) {
        const int d = hex_digit(text[i]);
        if (d < 0)
            return false;
        value = value << 4 | static_cast<uint32_t>(d);
    }
    return true;
}

}  // namespace khex
