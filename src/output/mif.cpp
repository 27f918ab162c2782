// MIF (memory initialisation file): the width and depth of the device, hex
// radixes, then one "address : word;" per word written, runs of two or more
// equal words as "[first..last] : word;", between CONTENT BEGIN and END.
#include <cstdio>

#include "output/writers.h"

namespace khex {

namespace {

void flush_run(WriterContext& w, OutputStream& stream)
{
    WordRun& run = stream.run;
    if (!run.open)
        return;
    char text[64];
    int n = run.words == 1 ? std::snprintf(text, sizeof text, "\t%X : ", run.first)
                           : std::snprintf(text, sizeof text, "\t[%X..%X] : ", run.first, run.first + run.words - 1);
    n += static_cast<int>(word_digits(text + n, run.value, w.romwidth, w.romwidth));
    text[n++] = ';';
    text[n++] = '\n';
    write_text(w, stream, text, static_cast<size_t>(n));
    run.open = false;
}

}  // namespace

void mif_writer(WriterContext& w, int op, OutputStream& stream, const uint8_t* data, int nbytes)
{
    WordRun& run = stream.run;
    switch (op) {
    case OP_START_FILE: {
        const std::string heading = "-- " + lane_heading(w, stream) + "\nWIDTH=" + std::to_string(8 * w.romwidth) +
                                    ";\nDEPTH=" + std::to_string(w.depth) +
                                    ";\n\nADDRESS_RADIX=HEX;\nDATA_RADIX=HEX;\n\nCONTENT BEGIN\n";
        write_text(w, stream, heading.data(), heading.size());
        break;
    }
    case OP_DATA: {
        uint8_t value[4] = {};
        for (int i = 0; i < nbytes && i < 4; ++i)
            value[i] = data[i];
        const bool continues = run.open && w.record_address == run.first + run.words &&
                               std::memcmp(value, run.value, static_cast<size_t>(w.romwidth)) == 0;
        if (continues) {
            ++run.words;
            break;
        }
        flush_run(w, stream);
        run = WordRun{w.record_address, 1, {value[0], value[1], value[2], value[3]}, true, true};
        break;
    }
    case OP_END_FILE:
        flush_run(w, stream);
        write_text(w, stream, "END;\n", 5);
        break;
    default:
        break;
    }
}

}  // namespace khex
