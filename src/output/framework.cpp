#include "output/framework.h"

#include <cerrno>
#include <cstring>

#include "driver/run.h"
#include "output/writers.h"

namespace khex {

namespace {

[[noreturn]] void write_failed(Run& run, const OutputStream& stream)
{
    fatal(run.diagnostics, "error writing output file '%s': %s", stream.name->c_str(), std::strerror(errno));
}

// Number of streams the range writes: one per lane, or one when a ROM is wider
// than a memory word.
int stream_count(const RomRange& r)
{
    return r.romwidth < r.memwidth ? r.memwidth / r.romwidth : 1;
}

void open_range_files(Run& run, const RomRange& r)
{
    OutputState& output = run.output;
    if (run.options.json_file && !output.tallying) {
        output.tallying = true;
        engine_start(output.crc32, *find_algorithm("crc32"));
    }
    for (FileTally& t : output.tallies)
        t = FileTally{};
    output.open_range = &r;
    output.record_address = 0;
    output.written_up_to = 0;
    // A record holds at most one data operation beyond its threshold, and a data
    // operation carries at most one ROM word.
    const size_t line_size = 128 + 4 * static_cast<size_t>(r.romwidth);
    const OutputFormat& format = selected_format(run);
    for (int i = 0; i < r.file_count; ++i) {
        OutputStream& stream = output.streams[run.settled.order == ORDER_MS ? r.file_count - 1 - i : i];
        const std::string& name = r.files[i];
        stream.file = open_pending(run.pending, name, format.binary, FileRole::OUTPUT);
        if (!stream.file)
            fatal(run.diagnostics, "cannot open output file '%s': %s", name.c_str(), std::strerror(errno));
        std::setvbuf(stream.file, nullptr, _IONBF, 0);  // the stream's block is the buffer
        stream.name = &name;
        stream.block.resize(OUTPUT_BLOCK);
        stream.block_used = 0;
        stream.fill = 0;
        stream.last_address = 0;
        stream.address_written = false;
        if (stream.line.size() < line_size)
            stream.line.resize(line_size);
        format.writer(run, OP_START_FILE, stream, nullptr, 0);
    }
}

// A ROM wider than a memory word takes up to one ROM word per data operation.
void write_wide_rom_words(Run& run, const RomRange& r, const uint8_t* data, int nbytes)
{
    OutputState& output = run.output;
    const RecordWriter write = selected_format(run).writer;
    for (int offset = 0; offset < nbytes; offset += r.romwidth) {
        int chunk = std::min(r.romwidth, nbytes - offset);
        if (chunk % r.memwidth != 0) {
            std::fflush(run.diagnostics.console.out);
            std::fputs("INTERNAL ERROR: misaligned internal data write (ABORT)\n", run.diagnostics.console.err);
            end_run(1);
        }
        write(run, OP_DATA, output.streams[0], data + offset, chunk);
        output.record_address += static_cast<uint32_t>(chunk);
        output.written_up_to += static_cast<uint32_t>(chunk);
    }
}

void tally(OutputState& o, int stream, uint32_t first, uint32_t last, const uint8_t* bytes, size_t n)
{
    FileTally& t = o.tallies[stream];
    if (t.data_bytes == 0)
        t.first_address = first;
    t.last_address = last;
    t.data_bytes += n;
    o.crc32.reg = t.crc32;
    engine_update(o.crc32, bytes, n);
    t.crc32 = o.crc32.reg;
    for (size_t i = 0; i < n; ++i)
        t.sum32 += bytes[i];
}

// What each file of the range received from one write: its lane's bytes,
// from the record address first on.
void tally_lanes(Run& run, const RomRange& r, uint32_t first, uint32_t step, const uint8_t* data, int nbytes)
{
    OutputState& o = run.output;
    if (r.romwidth > r.memwidth) {
        tally(o, 0, first, first + static_cast<uint32_t>(nbytes) - 1, data, static_cast<size_t>(nbytes));
        return;
    }
    const int words = nbytes / r.memwidth;
    const uint32_t last = first + static_cast<uint32_t>(words - 1) * step + static_cast<uint32_t>(r.romwidth) - 1;
    o.lane_bytes.resize(static_cast<size_t>(words * r.romwidth));
    for (int k = 0; k < stream_count(r); ++k) {
        for (int w = 0; w < words; ++w)
            std::memcpy(o.lane_bytes.data() + w * r.romwidth, data + k * r.romwidth + w * r.memwidth,
                        static_cast<size_t>(r.romwidth));
        tally(o, k, first, last, o.lane_bytes.data(), o.lane_bytes.size());
    }
}

}  // namespace

uint32_t tally_crc32(const FileTally& tally)
{
    return tally.crc32 ^ 0xFFFFFFFF;
}

void flush_block(Run& run, OutputStream& stream)
{
    if (stream.block_used != 0 && std::fwrite(stream.block.data(), 1, stream.block_used, stream.file) != stream.block_used)
        write_failed(run, stream);
    stream.block_used = 0;
}

void write_text(Run& run, OutputStream& stream, const char* text, size_t n)
{
    if (stream.block_used + n > stream.block.size()) {
        flush_block(run, stream);
        if (n > stream.block.size()) {
            if (std::fwrite(text, 1, n, stream.file) != n)
                write_failed(run, stream);
            return;
        }
    }
    std::memcpy(stream.block.data() + stream.block_used, text, n);
    stream.block_used += n;
}

void write_line(Run& run, OutputStream& stream)
{
    write_text(run, stream, stream.line.data(), stream.fill);
    stream.fill = 0;
}

void write_range_data(Run& run, const RomRange& r, uint32_t address, const uint8_t* data, int nbytes, int period)
{
    OutputState& output = run.output;
    if (output.open_range != &r)
        open_range_files(run, r);
    const OutputFormat& format = selected_format(run);
    const int streams = stream_count(r);

    // a memory word advances record addresses by its own width, or by one ROM
    // word in the device's addresses
    const bool device = device_addressing(run.options.romaddr, r);
    const uint32_t step = device ? static_cast<uint32_t>(r.romwidth) : static_cast<uint32_t>(r.memwidth);
    if (address != output.written_up_to && !run.settled.zero) {
        output.record_address = device ? device_address(r, address, run.settled.zero) : address;
        for (int k = 0; k < streams; ++k)
            format.writer(run, OP_NEW_ADDRESS, output.streams[k], nullptr, 0);
    }
    output.written_up_to = address;
    if (output.tallying && nbytes > 0)
        tally_lanes(run, r, output.record_address, step, data, nbytes);
    if (r.romwidth > r.memwidth) {
        write_wide_rom_words(run, r, data, nbytes);
        return;
    }
    if (nbytes % r.memwidth != 0)
        internal_error(run.diagnostics, "nbytes not a multiple of mem width/rom width");
    // each lane's file takes its whole run at once: the files are independent,
    // so this writes what word-by-word calls would
    const int words = nbytes / r.memwidth;
    const uint32_t first = output.record_address;
    for (int k = 0; k < streams; ++k)
        format.run(run, output.streams[k], data + k * r.romwidth, words, r.romwidth, r.memwidth, first, step, period);
    output.record_address = first + static_cast<uint32_t>(words) * step;
    output.written_up_to += static_cast<uint32_t>(nbytes);
}

void flush_range_records(Run& run)
{
    OutputState& output = run.output;
    const RomRange* r = output.open_range;
    if (!r || r->file_count == 0)
        return;
    for (int k = 0; k < r->file_count; ++k)
        if (output.streams[k].fill != 0)
            selected_format(run).writer(run, OP_END_RECORD, output.streams[k], nullptr, 0);
}

void close_range_files(Run& run)
{
    OutputState& output = run.output;
    const RomRange* r = output.open_range;
    if (!r)
        return;
    flush_range_records(run);
    for (int k = 0; k < r->file_count; ++k) {
        OutputStream& stream = output.streams[k];
        selected_format(run).writer(run, OP_END_FILE, stream, nullptr, 0);
        flush_block(run, stream);
        FILE* file = stream.file;
        stream.file = nullptr;
        if (!close_pending(run.pending, file))
            write_failed(run, stream);
    }
    for (int i = 0; i < r->file_count; ++i)
        output.written.push_back({r, i, output.tallies[run.settled.order == ORDER_MS ? r->file_count - 1 - i : i]});
    output.open_range = nullptr;
}

uint32_t record_address(const Run& run)
{
    return run.output.record_address;
}

bool first_warning_for_spec(Run& run, const void*& last_warned)
{
    const SectionSpec* spec = run.datapath.current_spec;
    if (!spec || spec == last_warned)
        return false;
    last_warned = spec;
    return true;
}

}  // namespace khex
