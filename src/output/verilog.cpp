// Verilog memory file for $readmemh: a comment naming the range and lane,
// "@" and the device word address (lower-case hex) at the start and after
// every gap, then the ROM words, 16 a line.
#include "output/writers.h"

namespace khex {

namespace {

constexpr uint32_t WORDS_A_LINE = 16;

void end_line(WriterContext& w, OutputStream& stream)
{
    if (stream.fill == 0)
        return;
    stream.line[stream.fill++] = '\n';
    write_line(w, stream);
    stream.sum = 0;  // words in the line
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
        if (stream.sum == WORDS_A_LINE)
            end_line(w, stream);
        if (stream.sum != 0)
            stream.line[stream.fill++] = ' ';
        stream.fill += word_digits(stream.line.data() + stream.fill, data, nbytes, w.romwidth);
        ++stream.sum;
        break;
    case OP_END_RECORD:
        end_line(w, stream);
        break;
    default:
        break;
    }
}

}  // namespace khex
