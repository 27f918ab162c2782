#include "hexfile/reader.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <iterator>
#include <memory>

#include "hexfile/records.h"

namespace khex {

namespace {

// One row per format: its name as options write it and its record parser
// (none for binary files, which are their bytes).
struct HexReaderRow {
    int format;
    const char* name;
    RecordParser parse;
};

const HexReaderRow HEX_READERS[] = {
    {HEX_BINARY, "binary", nullptr},
    {HEX_INTEL, "intel", parse_intel},
    {HEX_MOTOROLA, "motorola", parse_motorola},
    {HEX_TEKTRONIX, "tektronix", parse_tektronix},
};

constexpr size_t READ_BLOCK = 64 * 1024;

// Lines of a text file, read in blocks: each line's text without its line
// end (LF or CR LF), its number and where it begins in the file. A line
// longer than any record is cut and marked.
struct LineReader {
    FILE* file;
    std::vector<char> block = std::vector<char>(READ_BLOCK);
    size_t used = 0, filled = 0;
    uint64_t block_offset = 0;     // file offset of block[0]
    uint32_t line = 0;             // number of the line last read
    char text[HEX_LINE_LIMIT + 1];
    size_t length = 0;
    bool too_long = false;
    uint64_t offset = 0;           // where the line last read begins

    LineReader(FILE* f, uint64_t start, uint32_t first_line) : file(f), block_offset(start), line(first_line - 1) {}

    int next_char()
    {
        if (used == filled) {
            block_offset += filled;
            filled = std::fread(block.data(), 1, block.size(), file);
            used = 0;
            if (filled == 0)
                return EOF;
        }
        return static_cast<unsigned char>(block[used++]);
    }

    bool next()
    {
        offset = block_offset + used;
        length = 0;
        too_long = false;
        int c = next_char();
        if (c == EOF)
            return false;
        ++line;
        for (; c != EOF && c != '\n'; c = next_char()) {
            if (length < HEX_LINE_LIMIT)
                text[length++] = static_cast<char>(c);
            else
                too_long = true;
        }
        if (length > 0 && text[length - 1] == '\r' && !too_long)
            --length;
        text[length] = '\0';
        return true;
    }
};

const HexReaderRow& row_of(int format)
{
    for (const HexReaderRow& row : HEX_READERS)
        if (row.format == format)
            return row;
    return HEX_READERS[0];
}

// A text file whose first non-blank line starts with ":" is Intel, with
// "S0".."S9" Motorola, with "%" Extended Tektronix; anything else is binary.
int detect_format(FILE* file)
{
    char start[2] = {0, 0};
    int c;
    while ((c = std::fgetc(file)) != EOF && (c == ' ' || c == '\t' || c == '\r' || c == '\n')) {
    }
    start[0] = static_cast<char>(c);
    start[1] = static_cast<char>(std::fgetc(file));
    std::rewind(file);
    if (c == ':')
        return HEX_INTEL;
    if (c == 'S' && start[1] >= '0' && start[1] <= '9')
        return HEX_MOTOROLA;
    if (c == '%')
        return HEX_TEKTRONIX;
    return HEX_BINARY;
}

[[gnu::format(printf, 4, 5)]] bool fail(Diagnostics& d, const HexFile& hex, uint32_t line, const char* format, ...)
{
    char text[400];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (line != 0)
        report(d, SEVERITY_ERROR, "%s:%lu: %s", hex.name.c_str(), static_cast<unsigned long>(line), text);
    else
        report(d, SEVERITY_ERROR, "%s: %s", hex.name.c_str(), text);
    return false;
}

bool read_binary(HexFile& hex, Diagnostics& d)
{
    if (std::fseek(hex.file, 0, SEEK_END) != 0)
        return fail(d, hex, 0, "cannot read it: %s", std::strerror(errno));
    const long size = std::ftell(hex.file);
    if (size < 0)
        return fail(d, hex, 0, "cannot read it: %s", std::strerror(errno));
    if (static_cast<unsigned long>(size) > 0xFFFFFFFFul)
        return fail(d, hex, 0, "larger than 4 GiB, more than the address space holds");
    if (size > 0)
        hex.extents.push_back(HexExtent{0, static_cast<uint32_t>(size), 0, 0, 0});
    return true;
}

// Every record of a text file in turn; its data records as extents, a
// record continuing the one before it joining its extent.
bool read_records(HexFile& hex, Diagnostics& d)
{
    const RecordParser parse = row_of(hex.format).parse;
    LineReader lines(hex.file, 0, 1);
    HexParse state;
    state.lenient_count = hex.lenient_count;
    auto record = std::make_unique<HexRecord>();
    bool ended = false, joins = false;
    uint32_t end_line = 0;
    while (lines.next()) {
        if (lines.length == 0 && !lines.too_long)
            continue;
        if (lines.too_long)
            return fail(d, hex, lines.line, "line longer than any record");
        if (ended)
            return fail(d, hex, lines.line, "a record after the end record of line %lu",
                        static_cast<unsigned long>(end_line));
        const uint32_t base = state.base;
        std::string error;
        if (!parse(lines.text, lines.length, state, *record, error))
            return fail(d, hex, lines.line, "%s", error.c_str());
        if (record->kind == HexRecord::END) {
            ended = true;
            end_line = lines.line;
        }
        const bool data = record->kind == HexRecord::DATA && record->length > 0;
        if (data && joins && uint64_t{hex.extents.back().address} + hex.extents.back().length == record->address)
            hex.extents.back().length += record->length;
        else if (data)
            hex.extents.push_back(HexExtent{record->address, record->length, lines.offset, lines.line, base});
        joins = data;
    }
    if (std::ferror(hex.file))
        return fail(d, hex, 0, "cannot read it: %s", std::strerror(errno));
    hex.note = state.note;
    return true;
}

// The line of the record of an extent that holds address.
uint32_t line_of(HexFile& hex, const HexExtent& extent, uint32_t address)
{
    std::fseek(hex.file, static_cast<long>(extent.offset), SEEK_SET);
    LineReader lines(hex.file, extent.offset, extent.line);
    HexParse state;
    state.base = extent.base;
    state.lenient_count = hex.lenient_count;
    auto record = std::make_unique<HexRecord>();
    std::string error;
    while (lines.next()) {
        if (lines.length == 0 || !row_of(hex.format).parse(lines.text, lines.length, state, *record, error))
            continue;
        if (record->kind == HexRecord::DATA && address >= record->address &&
            uint64_t{address} < uint64_t{record->address} + record->length)
            return lines.line;
    }
    return extent.line;
}

// Records whose addresses overlap: the first pair in address order, by
// their lines.
bool refuse_overlaps(HexFile& hex, Diagnostics& d)
{
    std::vector<size_t> order(hex.extents.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](size_t a, size_t b) { return hex.extents[a].address < hex.extents[b].address; });
    for (size_t k = 1; k < order.size(); ++k) {
        const HexExtent& a = hex.extents[order[k - 1]];
        const HexExtent& b = hex.extents[order[k]];
        if (uint64_t{a.address} + a.length <= b.address)
            continue;
        const uint32_t line_a = line_of(hex, a, b.address);
        const uint32_t line_b = line_of(hex, b, b.address);
        return fail(d, hex, std::max(line_a, line_b), "data at 0x%08lx overlaps the data of line %lu",
                    static_cast<unsigned long>(b.address), static_cast<unsigned long>(std::min(line_a, line_b)));
    }
    return true;
}

}  // namespace

const char* hex_format_name(int format)
{
    return row_of(format).name;
}

std::string hex_format_names()
{
    std::string names;
    for (const HexReaderRow& row : HEX_READERS)
        names += (names.empty() ? "" : ", ") + std::string(row.name);
    return names;
}

int hex_format_of(const std::string& name)
{
    for (const HexReaderRow& row : HEX_READERS)
        if (name == row.name)
            return row.format;
    return HEX_DETECT;
}

bool open_hex_file(HexFile& hex, Diagnostics& d)
{
    hex.extents.clear();
    hex.file = std::fopen(hex.name.c_str(), "rb");
    if (!hex.file)
        return fail(d, hex, 0, "cannot open it: %s", std::strerror(errno));
    if (hex.format == HEX_DETECT)
        hex.format = detect_format(hex.file);
    const bool ok = hex.format == HEX_BINARY ? read_binary(hex, d) : read_records(hex, d) && refuse_overlaps(hex, d);
    if (!ok) {
        close_hex_file(hex);
        hex.extents.clear();
    }
    hex.resume = HexResume{};
    return ok;
}

bool read_hex_bytes(HexFile& hex, Diagnostics& d, const HexExtent& extent, uint32_t skip, uint8_t* out, uint32_t n)
{
    if (hex.format == HEX_BINARY) {
        if (std::fseek(hex.file, static_cast<long>(extent.offset + skip), SEEK_SET) != 0 ||
            std::fread(out, 1, n, hex.file) != n)
            return fail(d, hex, 0, "changed while it was read");
        return true;
    }
    // on from the record the last read stopped in, or from the extent's start
    HexResume from{&extent, 0, extent.offset, extent.line, extent.base};
    if (hex.resume.extent == &extent && hex.resume.at <= skip)
        from = hex.resume;
    if (std::fseek(hex.file, static_cast<long>(from.offset), SEEK_SET) != 0)
        return fail(d, hex, 0, "changed while it was read");
    LineReader lines(hex.file, from.offset, from.line);
    HexParse state;
    state.base = from.base;
    state.lenient_count = hex.lenient_count;
    auto record = std::make_unique<HexRecord>();
    uint64_t at = from.at;  // bytes of the extent before the record
    uint32_t copied = 0;
    std::string error;
    while (copied < n && lines.next()) {
        if (lines.length == 0)
            continue;
        const HexResume here{&extent, at, lines.offset, lines.line, state.base};
        if (!row_of(hex.format).parse(lines.text, lines.length, state, *record, error))
            return fail(d, hex, lines.line, "changed while it was read");
        if (record->kind != HexRecord::DATA || record->length == 0)
            continue;
        const uint64_t first = std::max<uint64_t>(at, skip);
        const uint64_t last = std::min<uint64_t>(at + record->length, uint64_t{skip} + n);
        if (first < last) {
            std::memcpy(out + (first - skip), record->data + (first - at), static_cast<size_t>(last - first));
            copied += static_cast<uint32_t>(last - first);
        }
        hex.resume = here;
        at += record->length;
    }
    return copied == n || fail(d, hex, 0, "changed while it was read");
}

void close_hex_file(HexFile& hex)
{
    if (hex.file)
        std::fclose(hex.file);
    hex.file = nullptr;
}

}  // namespace khex
