// Generic: a heading, then lines of an address, a tab and up to -olength
// ROM-width words, each followed by a blank, within 100 characters.
#include "driver/run.h"
#include "output/hex.h"
#include "output/writers.h"

namespace khex {

namespace {

constexpr long GENERIC_LINE = 100;

}  // namespace

void generic_writer(Run& run, int op, OutputStream& stream, const uint8_t* data, int nbytes)
{
    char* line = stream.line.data();
    const size_t w = static_cast<size_t>(run.output.open_range->romwidth);
    const size_t s = 2 * w + 1;  // characters of one word and its blank
    switch (op) {
    case OP_START_FILE:
        write_text(run, stream, "ADDRESS\tDATA\n-------\t----\n", 26);
        break;
    case OP_NEW_ADDRESS: {
        if (stream.fill != 0)
            generic_writer(run, OP_END_RECORD, stream, nullptr, 0);
        char prefix[16];
        char* end = put_hex_lower(prefix, record_address(run), 4);
        *end++ = '\t';
        write_text(run, stream, prefix, static_cast<size_t>(end - prefix));
        stream.address_written = true;
        break;
    }
    case OP_DATA: {
        if (static_cast<size_t>(nbytes) == w && stream.fill % s == 0) {
            // a whole word at a word's place: its digits and its blank
            const bool full = static_cast<long>(stream.fill / s) >= run.options.olength ||
                              static_cast<long>(stream.fill + s) >= GENERIC_LINE;
            if (full || !stream.address_written)
                generic_writer(run, OP_NEW_ADDRESS, stream, nullptr, 0);
            hex_encode(line + stream.fill, data, nbytes);
            line[stream.fill + 2 * w] = ' ';
            stream.fill += s;
            break;
        }
        const long room = static_cast<size_t>(nbytes) < w ? 2L * nbytes + 1 : static_cast<long>(s);
        for (int i = 0; i < nbytes; ++i) {
            if (static_cast<size_t>(i) % w == 0) {
                bool full = static_cast<long>(stream.fill / s) >= run.options.olength ||
                            static_cast<long>(stream.fill) >= GENERIC_LINE - room;
                if (full || !stream.address_written)
                    generic_writer(run, OP_NEW_ADDRESS, stream, nullptr, 0);
            }
            line[stream.fill++] = HEX_DIGITS[data[i] >> 4];
            line[stream.fill++] = HEX_DIGITS[data[i] & 0xF];
            if ((stream.fill % s) / 2 % w == 0)
                line[stream.fill++] = ' ';
        }
        break;
    }
    case OP_END_RECORD:
        line[stream.fill++] = '\n';
        write_line(run, stream);
        stream.address_written = false;
        break;
    default:
        break;
    }
}

void generic_run(Run& run, OutputStream& stream, const uint8_t* bytes, int ops, int op_bytes, int stride,
                 uint32_t address, uint32_t step, int)
{
    write_run_by_operation<generic_writer>(run, stream, bytes, ops, op_bytes, stride, address, step);
}

}  // namespace khex
