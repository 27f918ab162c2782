// Generic: a heading, then lines of an address, a tab and up to -olength
// ROM-width words, each followed by a blank, within 100 characters.
#include "output/hex.h"
#include "output/writers.h"

namespace khex {

namespace {

constexpr long GENERIC_LINE = 100;

}  // namespace

void generic_writer(WriterContext& w, int op, OutputStream& stream, const uint8_t* data, int nbytes)
{
    char* line = stream.line.data();
    const size_t rw = static_cast<size_t>(w.romwidth);  // bytes of a word
    const size_t s = 2 * rw + 1;  // characters of one word and its blank
    switch (op) {
    case OP_START_FILE:
        write_text(w, stream, "ADDRESS\tDATA\n-------\t----\n", 26);
        break;
    case OP_NEW_ADDRESS: {
        if (stream.fill != 0)
            generic_writer(w, OP_END_RECORD, stream, nullptr, 0);
        char prefix[16];
        char* end = put_hex_lower(prefix, w.record_address, 4);
        *end++ = '\t';
        write_text(w, stream, prefix, static_cast<size_t>(end - prefix));
        stream.address_written = true;
        break;
    }
    case OP_DATA: {
        if (static_cast<size_t>(nbytes) == rw && stream.fill % s == 0) {
            // a whole word at a word's place: its digits and its blank
            const bool full = static_cast<long>(stream.fill / s) >= w.line_words ||
                              static_cast<long>(stream.fill + s) >= GENERIC_LINE;
            if (full || !stream.address_written)
                generic_writer(w, OP_NEW_ADDRESS, stream, nullptr, 0);
            hex_encode(line + stream.fill, data, nbytes);
            line[stream.fill + 2 * rw] = ' ';
            stream.fill += s;
            break;
        }
        const long room = static_cast<size_t>(nbytes) < rw ? 2L * nbytes + 1 : static_cast<long>(s);
        for (int i = 0; i < nbytes; ++i) {
            if (static_cast<size_t>(i) % rw == 0) {
                bool full = static_cast<long>(stream.fill / s) >= w.line_words ||
                            static_cast<long>(stream.fill) >= GENERIC_LINE - room;
                if (full || !stream.address_written)
                    generic_writer(w, OP_NEW_ADDRESS, stream, nullptr, 0);
            }
            line[stream.fill++] = HEX_DIGITS[data[i] >> 4];
            line[stream.fill++] = HEX_DIGITS[data[i] & 0xF];
            if ((stream.fill % s) / 2 % rw == 0)
                line[stream.fill++] = ' ';
        }
        break;
    }
    case OP_END_RECORD:
        line[stream.fill++] = '\n';
        write_line(w, stream);
        stream.address_written = false;
        break;
    default:
        break;
    }
}

}  // namespace khex
