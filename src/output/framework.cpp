#include "output/framework.h"

#include <cerrno>
#include <cstring>

#include "driver/diagnostics.h"
#include "driver/options.h"
#include "memory/ranges.h"
#include "output/formats.h"
#include "output/hex.h"
#include "output/pending.h"

namespace khex {

OutputState output;

namespace {

constexpr size_t STREAM_BUFFER = 1 << 16;

RecordWriter writer()
{
    return selected_format().writer;
}

[[noreturn]] void write_failed(const OutputStream& stream)
{
    fatal("error writing output file '%s': %s", stream.name->c_str(), std::strerror(errno));
}

// Number of streams the range writes: one per lane, or one when a ROM is wider
// than a memory word.
int stream_count(const RomRange& r)
{
    return r.romwidth < r.memwidth ? r.memwidth / r.romwidth : 1;
}

void open_range_files(RomRange& r)
{
    r.files_open = true;
    r.record_address = 0;
    r.written_up_to = 0;
    // A record holds at most one data operation beyond its threshold, and a data
    // operation carries at most one ROM word.
    const size_t line_size = 128 + 4 * static_cast<size_t>(r.romwidth);
    const bool binary = selected_format().binary;
    for (int i = 0; i < r.file_count; ++i) {
        OutputStream& stream = output.streams[options.order == ORDER_MS ? r.file_count - 1 - i : i];
        const std::string& name = r.files[i];
        stream.file = open_pending(name, binary, FileRole::OUTPUT);
        if (!stream.file)
            fatal("cannot open output file '%s': %s", name.c_str(), std::strerror(errno));
        std::setvbuf(stream.file, nullptr, _IOFBF, STREAM_BUFFER);
        stream.name = &name;
        stream.fill = 0;
        stream.last_address = 0;
        stream.address_written = false;
        if (stream.line.size() < line_size)
            stream.line.resize(line_size);
        writer()(OP_START_FILE, stream, nullptr, 0);
    }
}

}  // namespace

void reset_output()
{
    abandon_output_files();
    for (OutputStream& stream : output.streams) {
        stream.fill = 0;
        stream.last_address = 0;
        stream.address_written = false;
        stream.name = nullptr;
    }
}

bool device_addressing(const RomRange& r)
{
    return options.romaddr && r.romwidth < r.memwidth;
}

uint32_t device_address(const RomRange& r, uint32_t address)
{
    if (options.zero)
        address -= r.origin;
    return address / static_cast<uint32_t>(r.memwidth) * static_cast<uint32_t>(r.romwidth);
}

void write_text(OutputStream& stream, const char* text, size_t n)
{
    if (std::fwrite(text, 1, n, stream.file) != n)
        write_failed(stream);
}

void write_line(OutputStream& stream)
{
    write_text(stream, stream.line.data(), stream.fill);
    stream.fill = 0;
}

void write_range_data(const uint8_t* data, int nbytes)
{
    RomRange& r = *ranges.current_range;
    if (!r.files_open)
        open_range_files(r);
    const RecordWriter write = writer();
    const int streams = stream_count(r);

    // a memory word advances record addresses by its own width, or by one ROM
    // word in the device's addresses
    const bool device = device_addressing(r);
    const uint32_t step = device ? static_cast<uint32_t>(r.romwidth) : static_cast<uint32_t>(r.memwidth);
    if (r.next_address != r.written_up_to && !options.zero) {
        r.record_address = device ? device_address(r, r.next_address) : r.next_address;
        for (int k = 0; k < streams; ++k)
            write(OP_NEW_ADDRESS, output.streams[k], nullptr, 0);
    }

    const uint32_t memwidth = static_cast<uint32_t>(r.memwidth);
    const int romwidth = r.romwidth;
    if (romwidth <= r.memwidth) {
        if (nbytes % r.memwidth != 0)
            internal_error("nbytes not a multiple of mem width/rom width");
        if (const DataRunWriter run = selected_format().run) {
            // each lane's file takes its whole run at once: the files are
            // independent, so this writes what word-by-word calls would
            const int words = nbytes / r.memwidth;
            for (int k = 0; k < streams; ++k)
                run(output.streams[k], data + k * romwidth, words, romwidth, r.memwidth, r.record_address, step);
            r.next_address += static_cast<uint32_t>(nbytes);
            r.record_address += static_cast<uint32_t>(words) * step;
            r.written_up_to = r.next_address;
            return;
        }
        for (const uint8_t* word = data; word < data + nbytes; word += memwidth) {
            for (int k = 0; k < streams; ++k)
                write(OP_DATA, output.streams[k], word + k * romwidth, romwidth);
            r.next_address += memwidth;
            r.record_address += step;
            r.written_up_to = r.next_address;
        }
        return;
    }
    for (int offset = 0; offset < nbytes; offset += romwidth) {
        int chunk = std::min(romwidth, nbytes - offset);
        if (chunk % r.memwidth != 0) {
            std::fflush(stdout);
            std::fputs("INTERNAL ERROR: misaligned internal data write (ABORT)\n", stderr);
            end_run(1);
        }
        write(OP_DATA, output.streams[0], data + offset, chunk);
        r.next_address += static_cast<uint32_t>(chunk);
        r.record_address += static_cast<uint32_t>(chunk);
        r.written_up_to = r.next_address;
    }
}

void flush_range_records()
{
    RomRange* r = ranges.current_range;
    if (!r || !r->files_open || r->file_count == 0)
        return;
    for (int k = 0; k < r->file_count; ++k)
        if (output.streams[k].fill != 0)
            writer()(OP_END_RECORD, output.streams[k], nullptr, 0);
}

void close_range_files()
{
    RomRange& r = *ranges.current_range;
    flush_range_records();
    for (int k = 0; k < r.file_count; ++k) {
        OutputStream& stream = output.streams[k];
        writer()(OP_END_FILE, stream, nullptr, 0);
        FILE* file = stream.file;
        stream.file = nullptr;
        if (!close_pending(file))
            write_failed(stream);
    }
    r.files_open = false;
}

// The files themselves are closed and removed with the run's other pending files.
void abandon_output_files()
{
    for (OutputStream& stream : output.streams)
        stream.file = nullptr;
}

}  // namespace khex
