#include "output/framework.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <thread>

#include "platform/platform.h"

namespace khex {

namespace {

[[noreturn]] void write_failed(Diagnostics& d, const OutputStream& stream)
{
    fatal(d, "error writing output file '%s': %s", stream.name->c_str(), std::strerror(errno));
}

// Bytes of the range that one ROM word of a device stands for: a memory word
// split into lanes, or the ROM word itself.
uint32_t bytes_per_word(const RomRange& r)
{
    return static_cast<uint32_t>(std::max(r.memwidth, r.romwidth));
}

// Number of streams the range writes: one per lane, or one when a ROM is wider
// than a memory word.
int stream_count(const RomRange& r)
{
    return r.romwidth < r.memwidth ? r.memwidth / r.romwidth : 1;
}

// The stream of file i of the range: -order MS gives the first lane to the
// last file.
int stream_of_file(const OutputState& output, const RomRange& r, int i)
{
    return lane_of_file(r, output.settings.order, i);
}

// The bits of the memory word file i of the range carries.
LaneBits bits_of_file(const OutputState& output, const RomRange& r, int i)
{
    const OutputSettings& s = output.settings;
    return file_lane_bits(WordArrangement{s.big_endian, s.order, s.datawidth}, r, i);
}

// The range as a set writes it; nullptr when the set writes none of it.
const RomRange* view_of(const FileSet& set, const RomRange& r)
{
    if (set.views.empty())
        return &r;
    return r.index < set.views.size() ? set.views[r.index] : nullptr;
}

// What the writers of the range's files are told.
void start_writer_context(OutputState& output, FileSet& set, const RomRange& r)
{
    const OutputSettings& settings = output.settings;
    WriterContext& w = set.writer;
    w.record_address = 0;
    w.romwidth = r.romwidth;
    w.line_words = settings.line_words;
    w.entry_point = settings.entry_point;
    w.variant = set.format->variant;
    w.origin = r.origin;
    w.length = r.length;
    w.depth = static_cast<uint32_t>((uint64_t{r.length} + bytes_per_word(r) - 1) / bytes_per_word(r));
    w.fill = r.fill;
    w.range_name = &r.name;
    w.record_bytes = set.record_bytes;
    w.diagnostics = set.diagnostics;
}

// The lane's fill words: fill_period ROM words from the range's pattern.
void lane_fill(const FileSet& set, const RomRange& r, OutputStream& stream)
{
    const std::vector<uint8_t>& pattern = set.range_fill;
    const size_t rom = static_cast<size_t>(r.romwidth);
    stream.fill_period = r.memwidth == 1 && r.romwidth == 1 ? 2 : 1;
    stream.fill_words.assign(rom * static_cast<size_t>(stream.fill_period), 0);
    for (size_t i = 0; i < stream.fill_words.size() && !pattern.empty(); ++i) {
        // a lane's byte of a memory word, or a wide ROM word's memory words in turn
        const size_t k = r.romwidth < r.memwidth ? static_cast<size_t>(stream.lane) * rom + i % rom : i;
        stream.fill_words[i] = pattern[k % pattern.size()];
    }
}

void open_range_files(OutputState& output, FileSet& set, const RomRange& r)
{
    // the names of -also sets may name folders to make
    const bool make = !set.views.empty() && !output.tap;
    for (FileTally& t : set.tallies)
        t = FileTally{};
    set.open_range = &r;
    set.written_up_to = 0;
    set.partial_word.clear();
    start_writer_context(output, set, r);
    // A record holds at most one data operation beyond its threshold (or
    // -reclen's bytes), and a data operation carries at most one ROM word; a
    // line of device words holds 16 of them.
    const size_t line_size = 160 + 36 * static_cast<size_t>(r.romwidth) + 2 * size_t{set.record_bytes};
    const OutputFormat& format = *set.format;
    for (int i = 0; i < r.file_count; ++i) {
        OutputStream& stream = set.streams[stream_of_file(output, r, i)];
        const std::string& name = r.files[i];
        if (make && !make_folders(*output.pending, name))
            fatal(*output.diagnostics, "cannot make the folder of output file '%s': %s", name.c_str(),
                  std::strerror(errno));
        stream.file = output.tap ? output.tap->open_file(r, i)
                                 : open_pending(*output.pending, name, format.binary, FileRole::OUTPUT);
        if (!stream.file && !output.tap)
            fatal(*output.diagnostics, "cannot open output file '%s': %s", name.c_str(), std::strerror(errno));
        if (stream.file)
            std::setvbuf(stream.file, nullptr, _IONBF, 0);  // the stream's block is the buffer
        stream.name = &name;
        stream.lane = stream_of_file(output, r, i);
        stream.bits = bits_of_file(output, r, i);
        stream.limit = 0;
        stream.run = WordRun{};
        stream.runs.clear();
        stream.warned = false;
        lane_fill(set, r, stream);
        stream.block.resize(OUTPUT_BLOCK);
        stream.block_used = 0;
        stream.fill = 0;
        stream.last_address = 0;
        stream.address_written = false;
        if (stream.line.size() < line_size)
            stream.line.resize(line_size);
        if (stream.file)
            format.writer(set.writer, OP_START_FILE, stream, nullptr, 0);
    }
}

// A ROM wider than a memory word takes up to one ROM word per data operation.
// Formats of device words on a ROM wider than a memory word: a ROM word goes
// out whole, at its word address, once its last byte has come (or before a
// gap and at the end); its bytes that no data reaches hold the range's fill.
void flush_partial_word(FileSet& set, const RomRange& r)
{
    if (set.partial_word.empty())
        return;
    set.writer.record_address = set.partial_index;
    if (set.streams[0].file)
        set.format->writer(set.writer, OP_DATA, set.streams[0], set.partial_word.data(), r.romwidth);
    set.partial_word.clear();
}

void collect_rom_words(FileSet& set, const RomRange& r, uint32_t address, const uint8_t* data, int nbytes)
{
    const uint32_t rom = static_cast<uint32_t>(r.romwidth);
    for (int i = 0; i < nbytes; ++i) {
        const uint32_t offset = address + static_cast<uint32_t>(i) - r.origin;
        if (!set.partial_word.empty() && offset / rom != set.partial_index)
            flush_partial_word(set, r);
        if (set.partial_word.empty()) {
            const std::vector<uint8_t>& fill = set.range_fill;
            set.partial_word.resize(rom);
            for (uint32_t k = 0; k < rom; ++k)
                set.partial_word[k] = fill.empty() ? 0 : fill[k % fill.size()];
            set.partial_index = offset / rom;
        }
        set.partial_word[offset % rom] = data[i];
        if (offset % rom == rom - 1)
            flush_partial_word(set, r);
    }
    set.written_up_to += static_cast<uint32_t>(nbytes);
}

void write_wide_rom_words(FileSet& set, const RomRange& r, const uint8_t* data, int nbytes)
{
    const RecordWriter write = set.format->writer;
    for (int offset = 0; offset < nbytes; offset += r.romwidth) {
        int chunk = std::min(r.romwidth, nbytes - offset);
        if (chunk % r.memwidth != 0) {
            std::fflush(set.diagnostics->console.out);
            std::fputs("INTERNAL ERROR: misaligned internal data write (ABORT)\n", set.diagnostics->console.err);
            end_run(1);
        }
        if (set.streams[0].file)
            write(set.writer, OP_DATA, set.streams[0], data + offset, chunk);
        set.writer.record_address += set.format->device_words ? 1 : static_cast<uint32_t>(chunk);
        set.written_up_to += static_cast<uint32_t>(chunk);
    }
}

void tally(FileSet& set, int stream, uint32_t first, uint32_t last, const uint8_t* bytes, size_t n)
{
    FileTally& t = set.tallies[stream];
    if (t.data_bytes == 0)
        t.first_address = first;
    t.last_address = last;
    t.data_bytes += n;
    set.crc32.reg = t.crc32;
    engine_update(set.crc32, bytes, n);
    t.crc32 = set.crc32.reg;
    for (size_t i = 0; i < n; ++i)
        t.sum32 += bytes[i];
}

// What each file of the range received from one write of bytes at target
// address `address`: its lane's bytes, from the record address first on, one
// address per byte of a data operation; files of device words count words.
void tally_lanes(FileSet& set, const RomRange& r, uint32_t address, uint32_t first, uint32_t step,
                 const uint8_t* data, int nbytes)
{
    const bool device_words = set.format->device_words;
    if (r.romwidth > r.memwidth) {
        const uint32_t rom = static_cast<uint32_t>(r.romwidth);
        if (device_words)
            tally(set, 0, (address - r.origin) / rom,
                  (address + static_cast<uint32_t>(nbytes) - 1 - r.origin) / rom, data, static_cast<size_t>(nbytes));
        else
            tally(set, 0, first, first + static_cast<uint32_t>(nbytes) - 1, data, static_cast<size_t>(nbytes));
        return;
    }
    const int words = nbytes / r.memwidth;
    const uint32_t last = first + static_cast<uint32_t>(words - 1) * step +
                          (device_words ? 0 : static_cast<uint32_t>(r.romwidth) - 1);
    set.lane_bytes.resize(static_cast<size_t>(words * r.romwidth));
    for (int k = 0; k < stream_count(r); ++k) {
        for (int w = 0; w < words; ++w)
            std::memcpy(set.lane_bytes.data() + w * r.romwidth, data + k * r.romwidth + w * r.memwidth,
                        static_cast<size_t>(r.romwidth));
        tally(set, k, first, last, set.lane_bytes.data(), set.lane_bytes.size());
    }
}

// A tapped run's files of the range: those the tap opened are written whole
// and handed back to it.
void close_tapped_files(OutputState& output, FileSet& set, const RomRange& r)
{
    for (int i = 0; i < r.file_count; ++i) {
        OutputStream& stream = set.streams[stream_of_file(output, r, i)];
        if (!stream.file)
            continue;
        set.format->writer(set.writer, OP_END_FILE, stream, nullptr, 0);
        flush_block(set.writer, stream);
        FILE* written = stream.file;
        stream.file = nullptr;
        output.tap->file_written(r, i, written);
    }
}

// Ends the records in progress of the set's open range.
void flush_set_records(FileSet& set)
{
    const RomRange* r = set.open_range;
    if (!r || r->file_count == 0)
        return;
    for (int k = 0; k < r->file_count; ++k)
        if (set.streams[k].file && set.streams[k].fill != 0)
            set.format->writer(set.writer, OP_END_RECORD, set.streams[k], nullptr, 0);
}

void close_set_files(OutputState& output, FileSet& set, int set_index, const RomRange* base)
{
    const RomRange* r = set.open_range;
    if (!r)
        return;
    // on the run's thread, whatever thread wrote the files
    set.writer.diagnostics = output.diagnostics;
    flush_partial_word(set, *r);
    flush_set_records(set);
    if (output.tap) {
        close_tapped_files(output, set, *r);
        set.open_range = nullptr;
        return;
    }
    for (int k = 0; k < r->file_count; ++k) {
        OutputStream& stream = set.streams[k];
        set.format->writer(set.writer, OP_END_FILE, stream, nullptr, 0);
        flush_block(set.writer, stream);
        FILE* file = stream.file;
        stream.file = nullptr;
        if (!close_pending(*output.pending, file))
            write_failed(*output.diagnostics, stream);
    }
    for (int i = 0; i < r->file_count; ++i)
        output.written.push_back({r, base ? base : r, set_index, i, set.tallies[stream_of_file(output, *r, i)]});
    set.open_range = nullptr;
}

// The data of one write as a set of another ROM width takes it: -order LS
// reverses the bytes of each lane of a word (min(ROM width, memory width)),
// so what one lane width reversed is put back and reversed for the other.
// Where each byte came from follows, for the tap.
const uint8_t* arranged_for(const OutputState& output, FileSet& set, const RomRange& main, const RomRange& view,
                            const uint8_t* data, int nbytes, ByteOwner& owner)
{
    const int from = std::min(main.romwidth, main.memwidth), to = std::min(view.romwidth, view.memwidth);
    if (output.settings.order != ORDER_LS || from == to)
        return data;
    const auto reverse = [](uint8_t* p, int n, int group) {
        for (int start = 0; group > 1 && start + group <= n; start += group)
            std::reverse(p + start, p + start + group);
    };
    // one pass over the data with the map of a period that holds both lane
    // widths (the data is whole memory words, and both divide the word)
    const int span = std::max(from, to);
    uint8_t map[MAX_LANES * 4];
    for (int q = 0; q < span; ++q)
        map[q] = static_cast<uint8_t>(q);
    reverse(map, span, to);
    reverse(map, span, from);
    std::vector<uint8_t>& bytes = set.set_bytes;
    bytes.resize(static_cast<size_t>(nbytes));
    uint8_t* out = bytes.data();
    for (int base = 0; base + span <= nbytes; base += span)
        for (int q = 0; q < span; ++q)
            out[base + q] = data[base + map[q]];
    if (owner.source && owner.period > 0) {
        // offset q of the set's arrangement is offset t(q) of the run's, whose
        // source the owner gives; over a period that holds both lane widths
        const int period = std::max({owner.period, from, to});
        std::vector<uint8_t>& source = set.set_source;
        source.resize(static_cast<size_t>(period));
        for (int q = 0; q < period; ++q)
            source[static_cast<size_t>(q)] = static_cast<uint8_t>(q);
        reverse(source.data(), period, to);
        reverse(source.data(), period, from);
        for (int q = 0; q < period; ++q) {
            const int t = source[static_cast<size_t>(q)];
            source[static_cast<size_t>(q)] = static_cast<uint8_t>(t / owner.period * owner.period + owner.source[t % owner.period]);
        }
        owner.source = source.data();
        owner.period = period;
    }
    return bytes.data();
}

// One write into the files of one set, at the set's view of the range.
void write_set_data(OutputState& output, FileSet& set, const RomRange& r, uint32_t address, const uint8_t* data,
                    int nbytes, int period, const ByteOwner& owner)
{
    if (set.open_range != &r)
        open_range_files(output, set, r);
    const OutputSettings& settings = output.settings;
    const OutputFormat& format = *set.format;
    const int streams = stream_count(r);
    WriterContext& w = set.writer;
    w.owner = owner.key;
    if (output.tap)
        output.tap->write(r, address, data, nbytes, owner);

    // a memory word advances record addresses by its own width, or by one ROM
    // word in the device's addresses; formats of device words count words
    // from the range's first byte, whatever -romaddr and -zero say
    const bool device_words = format.device_words;
    const bool device = device_addressing(settings.romaddr, r);
    const uint32_t step = device_words ? 1
                          : device     ? static_cast<uint32_t>(r.romwidth)
                                       : static_cast<uint32_t>(r.memwidth);
    // data after a gap inside the ROM word being collected goes on in it
    const bool same_rom_word =
        !set.partial_word.empty() && (address - r.origin) / bytes_per_word(r) == set.partial_index;
    if (address != set.written_up_to && (!settings.zero || device_words) && !same_rom_word) {
        flush_partial_word(set, r);
        w.record_address = device_words ? (address - r.origin) / bytes_per_word(r)
                           : device ? device_address(r, address, settings.zero)
                                    : address;
        for (int k = 0; k < streams; ++k)
            if (set.streams[k].file)
                format.writer(w, OP_NEW_ADDRESS, set.streams[k], nullptr, 0);
    }
    set.written_up_to = address;
    if (settings.tallies && nbytes > 0)
        tally_lanes(set, r, address, w.record_address, step, data, nbytes);
    if (r.romwidth > r.memwidth) {
        if (format.device_words)
            collect_rom_words(set, r, address, data, nbytes);
        else
            write_wide_rom_words(set, r, data, nbytes);
        return;
    }
    if (nbytes % r.memwidth != 0)
        internal_error(*set.diagnostics, "nbytes not a multiple of mem width/rom width");
    // each lane's file takes its whole run at once: the files are independent,
    // so this writes what word-by-word calls would
    const int words = nbytes / r.memwidth;
    const uint32_t first = w.record_address;
    for (int k = 0; k < streams; ++k) {
        OutputStream& stream = set.streams[k];
        if (!stream.file)
            continue;
        const uint8_t* lane = data + k * r.romwidth;
        if (format.run)
            format.run(w, stream, lane, words, r.romwidth, r.memwidth, first, step, period);
        else
            write_run_by_operation(format.writer, w, stream, lane, words, r.romwidth, r.memwidth, first, step);
    }
    w.record_address = first + static_cast<uint32_t>(words) * step;
    set.written_up_to += static_cast<uint32_t>(nbytes);
}

}  // namespace

uint32_t tally_crc32(const FileTally& tally)
{
    return tally.crc32 ^ 0xFFFFFFFF;
}

void flush_block(WriterContext& w, OutputStream& stream)
{
    if (stream.block_used != 0 && std::fwrite(stream.block.data(), 1, stream.block_used, stream.file) != stream.block_used)
        write_failed(*w.diagnostics, stream);
    stream.block_used = 0;
}

void write_text(WriterContext& w, OutputStream& stream, const char* text, size_t n)
{
    if (stream.block_used + n > stream.block.size()) {
        flush_block(w, stream);
        if (n > stream.block.size()) {
            if (std::fwrite(text, 1, n, stream.file) != n)
                write_failed(*w.diagnostics, stream);
            return;
        }
    }
    std::memcpy(stream.block.data() + stream.block_used, text, n);
    stream.block_used += n;
}

void write_line(WriterContext& w, OutputStream& stream)
{
    write_text(w, stream, stream.line.data(), stream.fill);
    stream.fill = 0;
}

bool first_warning(WriterContext& w, const void*& last_warned)
{
    if (!w.owner || w.owner == last_warned)
        return false;
    last_warned = w.owner;
    return true;
}

void write_run_by_operation(RecordWriter writer, WriterContext& w, OutputStream& stream, const uint8_t* bytes, int ops,
                            int op_bytes, int stride, uint32_t address, uint32_t step)
{
    for (int k = 0; k < ops; ++k, bytes += stride, address += step) {
        w.record_address = address;
        writer(w, OP_DATA, stream, bytes, op_bytes);
    }
}

void start_output(OutputState& output, const OutputSettings& settings, Diagnostics& diagnostics,
                  PendingFiles& pending)
{
    output.settings = settings;
    output.diagnostics = &diagnostics;
    output.pending = &pending;
    output.sets.clear();
    FileSet& own = output.sets.emplace_back();
    own.format = settings.format;
    own.record_bytes = settings.record_bytes;
    own.diagnostics = &diagnostics;
    if (settings.tallies)
        engine_start(own.crc32, *find_algorithm("crc32"));
}

void add_file_set(OutputState& output, const OutputFormat& format, uint32_t record_bytes,
                  std::vector<const RomRange*> views)
{
    FileSet& set = output.sets.emplace_back();
    set.format = &format;
    set.record_bytes = record_bytes;
    set.views = std::move(views);
    set.diagnostics = output.diagnostics;
    if (output.settings.tallies)
        engine_start(set.crc32, *find_algorithm("crc32"));
}

// A set's thread: it takes the writes of the run's thread in turn, each with
// a copy of its bytes, and writes them into the set's files; its messages
// wait until the run's thread takes them, so that they come out in order.
struct SetWorker {
    struct Job {
        enum Kind { WRITE, FLUSH } kind;
        const RomRange* view;
        const RomRange* base;
        uint32_t address;
        std::vector<uint8_t> data;
        int period;
        const void* key;
    };
    static constexpr size_t MOST_QUEUED = 16;  // bounds the bytes held for the set

    std::mutex lock;
    std::condition_variable more, done;
    std::deque<Job> jobs;
    std::vector<std::vector<uint8_t>> spare;  // buffers of finished jobs, to be filled again
    bool busy = false;
    bool stop = false;
    std::exception_ptr failure;               // a fatal error of the set, for the run's thread
    Diagnostics diagnostics;                  // the set's own, holding its messages
    std::string held;
    std::thread thread;

    ~SetWorker()
    {
        {
            std::lock_guard<std::mutex> hold(lock);
            stop = true;
            jobs.clear();
            more.notify_all();
        }
        if (thread.joinable())
            thread.join();
    }
};

namespace {

void work(OutputState& output, FileSet& set, SetWorker& worker)
{
    for (;;) {
        SetWorker::Job job;
        {
            std::unique_lock<std::mutex> hold(worker.lock);
            worker.more.wait(hold, [&] { return worker.stop || !worker.jobs.empty(); });
            if (worker.jobs.empty())
                return;
            job = std::move(worker.jobs.front());
            worker.jobs.pop_front();
            worker.busy = true;
        }
        if (!worker.failure) {
            try {
                if (job.kind == SetWorker::Job::FLUSH) {
                    flush_set_records(set);
                } else {
                    ByteOwner owner;
                    owner.key = job.key;
                    const int n = static_cast<int>(job.data.size());
                    const uint8_t* bytes = job.view == job.base
                                               ? job.data.data()
                                               : arranged_for(output, set, *job.base, *job.view, job.data.data(), n,
                                                              owner);
                    write_set_data(output, set, *job.view, job.address, bytes, n, job.period, owner);
                }
            } catch (...) {
                worker.failure = std::current_exception();
            }
        }
        std::lock_guard<std::mutex> hold(worker.lock);
        worker.spare.push_back(std::move(job.data));
        worker.busy = false;
        worker.done.notify_all();
    }
}

// The sets of a run of more sets get their threads, once.
void start_workers(OutputState& output)
{
    if (output.sets.size() < 2 || output.tap || output.sets[1].worker)
        return;
    for (size_t k = 1; k < output.sets.size(); ++k) {
        FileSet& set = output.sets[k];
        auto worker = std::make_shared<SetWorker>();
        worker->diagnostics = *output.diagnostics;
        worker->diagnostics.warnings = worker->diagnostics.errors = worker->diagnostics.max_severity = 0;
        worker->diagnostics.held = &worker->held;
        set.diagnostics = &worker->diagnostics;
        set.worker = worker;
        worker->thread = std::thread(work, std::ref(output), std::ref(set), std::ref(*worker));
    }
}

void queue(SetWorker& worker, SetWorker::Job::Kind kind, const RomRange* view, const RomRange* base,
           uint32_t address, const uint8_t* data, int nbytes, int period, const void* key)
{
    std::unique_lock<std::mutex> hold(worker.lock);
    worker.done.wait(hold, [&] { return worker.jobs.size() < SetWorker::MOST_QUEUED; });
    std::vector<uint8_t> bytes;
    if (!worker.spare.empty()) {
        bytes = std::move(worker.spare.back());
        worker.spare.pop_back();
    }
    bytes.assign(data, data + nbytes);
    worker.jobs.push_back(SetWorker::Job{kind, view, base, address, std::move(bytes), period, key});
    worker.more.notify_one();
}

// Waits until the set's thread has done every write it was given; its
// messages are written, counted, and a fatal error of it ends the run.
void drain(OutputState& output, FileSet& set)
{
    SetWorker* worker = set.worker.get();
    if (!worker)
        return;
    std::exception_ptr failure;
    {
        std::unique_lock<std::mutex> hold(worker->lock);
        worker->done.wait(hold, [&] { return worker->jobs.empty() && !worker->busy; });
        failure = worker->failure;
    }
    Diagnostics& d = *output.diagnostics;
    if (!worker->held.empty()) {
        std::fflush(d.console.out);
        std::fwrite(worker->held.data(), 1, worker->held.size(), d.console.err);
        std::fflush(d.console.err);
        worker->held.clear();
    }
    d.warnings += worker->diagnostics.warnings;
    d.errors += worker->diagnostics.errors;
    d.max_severity = std::max(d.max_severity, worker->diagnostics.max_severity);
    worker->diagnostics.warnings = worker->diagnostics.errors = worker->diagnostics.max_severity = 0;
    if (failure) {
        worker->failure = nullptr;
        std::rethrow_exception(failure);
    }
}

}  // namespace

void write_range_data(OutputState& output, const RomRange& r, uint32_t address, const uint8_t* data, int nbytes,
                      int period, const ByteOwner& owner)
{
    start_workers(output);
    for (FileSet& set : output.sets) {
        const RomRange* view = view_of(set, r);
        if (!view)
            continue;
        if (set.worker) {
            // the run's thread opens the files; the set's thread writes them
            if (set.open_range != view) {
                drain(output, set);
                open_range_files(output, set, *view);
            }
            queue(*set.worker, SetWorker::Job::WRITE, view, &r, address, data, nbytes, period, owner.key);
            continue;
        }
        if (view == &r) {
            write_set_data(output, set, r, address, data, nbytes, period, owner);
            continue;
        }
        ByteOwner owned = owner;
        const uint8_t* bytes = arranged_for(output, set, r, *view, data, nbytes, owned);
        write_set_data(output, set, *view, address, bytes, nbytes, period, owned);
    }
}

void tap_outputs(OutputState& output, const OutputTap& tap)
{
    output.tap = &tap;
}

void set_range_fill(OutputState& output, const RomRange& r, const uint8_t* pattern, size_t n)
{
    for (FileSet& set : output.sets) {
        const RomRange* view = view_of(set, r);
        if (!view)
            continue;
        drain(output, set);
        ByteOwner none;
        const uint8_t* bytes =
            view == &r ? pattern : arranged_for(output, set, r, *view, pattern, static_cast<int>(n), none);
        set.range_fill.assign(bytes, bytes + n);
    }
}

void flush_range_records(OutputState& output)
{
    for (FileSet& set : output.sets) {
        if (set.worker && set.open_range)
            queue(*set.worker, SetWorker::Job::FLUSH, nullptr, nullptr, 0, nullptr, 0, 0, nullptr);
        else if (!set.worker)
            flush_set_records(set);
    }
}

void close_range_files(OutputState& output)
{
    for (FileSet& set : output.sets)
        drain(output, set);
    // the run's range, for the reports: set 0 writes the range itself
    const RomRange* base = output.sets[0].open_range;
    for (size_t k = 0; k < output.sets.size(); ++k)
        close_set_files(output, output.sets[k], static_cast<int>(k), base);
}

void stop_set_workers(OutputState& output)
{
    for (FileSet& set : output.sets) {
        SetWorker* worker = set.worker.get();
        if (!worker)
            continue;
        {
            std::lock_guard<std::mutex> hold(worker->lock);
            worker->stop = true;
            worker->jobs.clear();
            worker->more.notify_all();
        }
        if (worker->thread.joinable())
            worker->thread.join();
        set.worker.reset();
        set.diagnostics = output.diagnostics;
    }
}

}  // namespace khex
