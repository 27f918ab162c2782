// ZQ-Tagged: lines of tags (K header, 9 load address, B two data bytes, * one
// data byte, 7 checksum, F end), padded to column 72 and identified in 73-80.
#include <cstring>

#include "output/hex.h"
#include "output/writers.h"

namespace khex {

namespace {

constexpr size_t ZQ_THRESHOLD = 62;
constexpr size_t ZQ_PADDED = 72;
constexpr char ZQ_IDENTIFIER[] = "COFFTOZQ";

// Ends the line: the checksum tag with the negated sum of the line's
// characters, the end tag, blanks to column 72 and the identifier.
void end_line(WriterContext& w, OutputStream& stream)
{
    char* line = stream.line.data();
    line[stream.fill++] = '7';
    unsigned sum = 0;
    for (size_t i = 0; i < stream.fill; ++i)
        sum += static_cast<unsigned char>(line[i]);
    put_hex(line + stream.fill, (0u - sum) & 0xFFFF, 4);
    stream.fill += 4;
    line[stream.fill++] = 'F';
    while (stream.fill < ZQ_PADDED)
        line[stream.fill++] = ' ';
    std::memcpy(line + stream.fill, ZQ_IDENTIFIER, 8);
    stream.fill += 8;
    line[stream.fill++] = '\n';
    write_line(w, stream);
}

// The load address tag; addresses above 16 bits are cut, with a warning once
// per section.
void load_address(WriterContext& w, OutputStream& stream)
{
    uint32_t address = w.record_address;
    if ((address & 0xFFFF0000) && first_warning(w, w.truncation.zq_tagged))
        report(*w.diagnostics, SEVERITY_WARNING, "address 0x%08lx exceeds 4 digits - truncated",
               static_cast<unsigned long>(address));
    char* line = stream.line.data();
    line[stream.fill] = '9';
    put_hex(line + stream.fill + 1, address & 0xFFFF, 4);
    stream.fill += 5;
    stream.address_written = true;
    stream.last_address = address;
}

// Data bytes in pairs behind "B", a last odd byte behind "*".
void data_tags(WriterContext& w, OutputStream& stream, const uint8_t* data, int nbytes)
{
    if (!stream.address_written)
        load_address(w, stream);
    char* line = stream.line.data();
    for (int i = 0; i < nbytes; ++i) {
        if (i % 2 == 0) {
            if (stream.fill >= ZQ_THRESHOLD)
                end_line(w, stream);
            line[stream.fill++] = i == nbytes - 1 ? '*' : 'B';
        }
        line[stream.fill++] = HEX_DIGITS[data[i] >> 4];
        line[stream.fill++] = HEX_DIGITS[data[i] & 0xF];
    }
    stream.last_address = w.record_address;
}

}  // namespace

void zq_tagged_writer(WriterContext& w, int op, OutputStream& stream, const uint8_t* data, int nbytes)
{
    if (op != OP_END_RECORD && stream.fill >= ZQ_THRESHOLD)
        end_line(w, stream);
    switch (op) {
    case OP_START_FILE:
        std::memcpy(stream.line.data(), "K0000COFFTOZQ", 13);
        stream.fill = 13;
        stream.address_written = false;
        break;
    case OP_NEW_ADDRESS:
        load_address(w, stream);
        break;
    case OP_DATA:
        data_tags(w, stream, data, nbytes);
        break;
    case OP_END_RECORD:
        end_line(w, stream);
        break;
    case OP_END_FILE:
        write_text(w, stream, ":\n", 2);
        break;
    default:
        break;
    }
}

}  // namespace khex
