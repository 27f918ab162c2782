// COE (coefficient file): hex radix, then every word of the device from its
// first on, one a line, comma-separated, the last ending with ";". A COE
// vector has no addresses, so words no data occupies hold the range's fill,
// with a warning once per file.
#include "output/writers.h"

namespace khex {

namespace {

// The word in the line goes out with a comma: another follows it.
void emit(WriterContext& w, OutputStream& stream, const uint8_t* data, int nbytes)
{
    if (stream.fill != 0) {
        stream.line[stream.fill++] = ',';
        stream.line[stream.fill++] = '\n';
        write_line(w, stream);
    }
    stream.fill = word_digits(stream.line.data(), data, nbytes, w.romwidth);
    ++stream.last_address;  // the next word's address
}

// The fill in every word up to (not including) address.
void fill_to(WriterContext& w, OutputStream& stream, uint32_t address)
{
    if (stream.last_address < address && !stream.warned) {
        report(*w.diagnostics, SEVERITY_WARNING,
               "COE file '%s' holds the fill value 0x%04lx in the words no data occupies", stream.name->c_str(),
               static_cast<unsigned long>(w.fill));
        stream.warned = true;
    }
    while (stream.last_address < address) {
        const size_t k = stream.last_address % static_cast<uint32_t>(stream.fill_period);
        emit(w, stream, stream.fill_words.data() + k * static_cast<size_t>(w.romwidth), w.romwidth);
    }
}

}  // namespace

void coe_writer(WriterContext& w, int op, OutputStream& stream, const uint8_t* data, int nbytes)
{
    switch (op) {
    case OP_START_FILE: {
        const std::string heading = "; " + lane_heading(w, stream) +
                                    "\nmemory_initialization_radix=16;\nmemory_initialization_vector=\n";
        write_text(w, stream, heading.data(), heading.size());
        stream.last_address = 0;
        break;
    }
    case OP_DATA:
        fill_to(w, stream, w.record_address);
        emit(w, stream, data, nbytes);
        break;
    case OP_END_FILE:
        fill_to(w, stream, w.depth);
        if (stream.fill != 0) {
            stream.line[stream.fill++] = ';';
            stream.line[stream.fill++] = '\n';
            write_line(w, stream);
        }
        break;
    default:
        break;  // a record ends with its word: nothing waits for the end of one
    }
}

}  // namespace khex
