// Verilog memory file for $readmemh: a comment naming the range and lane,
// "@" and the device word address (lower-case hex) at the start and after
// every gap, then the ROM words, 16 a line. The words go straight into the
// stream's block; stream.sum counts the words of the line being written, and
// stream.fill does too, so that the framework ends the line where it ends
// records (a new section, the range's end).
#include "output/writers.h"

namespace khex {

namespace {

constexpr uint32_t WORDS_A_LINE = 16;

void end_line(WriterContext& w, OutputStream& stream)
{
    if (stream.sum == 0)
        return;
    *block_room(w, stream, 1) = '\n';
    ++stream.block_used;
    stream.sum = 0;
    stream.fill = 0;
}

void address_line(WriterContext& w, OutputStream& stream)
{
    end_line(w, stream);
    char text[16] = "@";
    char* end = put_hex_lower(text + 1, w.record_address, 1);
    *end++ = '\n';
    write_text(w, stream, text, static_cast<size_t>(end - text));
    stream.address_written = true;
}

// Words of op_bytes bytes from data on, each stride bytes after the one
// before, into the lines.
void put_words(WriterContext& w, OutputStream& stream, const uint8_t* data, int words, int op_bytes, int stride)
{
    const size_t rom = static_cast<size_t>(w.romwidth);
    while (words > 0) {
        if (stream.sum == WORDS_A_LINE)
            end_line(w, stream);
        const int n = std::min<int>(words, static_cast<int>(WORDS_A_LINE - stream.sum));
        char* out = block_room(w, stream, static_cast<size_t>(n) * (2 * rom + 1));
        char* p = out;
        for (int k = 0; k < n; ++k, data += stride) {
            if (stream.sum + static_cast<uint32_t>(k) != 0)
                *p++ = ' ';
            p += word_digits(p, data, op_bytes, w.romwidth);
        }
        stream.block_used += static_cast<size_t>(p - out);
        stream.sum += static_cast<uint32_t>(n);
        stream.fill = stream.sum;
        words -= n;
    }
}

}  // namespace

void verilog_writer(WriterContext& w, int op, OutputStream& stream, const uint8_t* data, int nbytes)
{
    switch (op) {
    case OP_START_FILE: {
        const std::string heading = "// " + lane_heading(w, stream) + ", " + std::to_string(8 * w.romwidth) +
                                    "-bit words\n";
        write_text(w, stream, heading.data(), heading.size());
        stream.address_written = false;
        stream.sum = 0;
        break;
    }
    case OP_NEW_ADDRESS:
        address_line(w, stream);
        break;
    case OP_DATA:
        if (!stream.address_written)
            address_line(w, stream);
        put_words(w, stream, data, 1, nbytes, nbytes);
        break;
    case OP_END_RECORD:
    case OP_END_FILE:
        end_line(w, stream);
        break;
    default:
        break;
    }
}

// A run of consecutive device words, a line's worth at a time.
void verilog_run(WriterContext& w, OutputStream& stream, const uint8_t* data, int ops, int op_bytes, int stride,
                 uint32_t address, uint32_t, int)
{
    w.record_address = address;
    if (!stream.address_written)
        address_line(w, stream);
    put_words(w, stream, data, ops, op_bytes, stride);
}

}  // namespace khex
