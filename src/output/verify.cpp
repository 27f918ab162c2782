#include "output/verify.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "base/text.h"
#include "output/formats.h"
#include "platform/platform.h"

namespace khex {

namespace {

constexpr uint32_t WINDOW = 64 * 1024;

unsigned long hex(uint64_t value)
{
    return static_cast<unsigned long>(value);
}

// OUTPUT=READBACK[:SUFFIX...], suffixes matched from the end in any case, so
// that a drive letter stays part of the read-back's name.
bool split_request(Diagnostics& d, VerifyPair& pair)
{
    const size_t equals = pair.text.find('=');
    if (equals == std::string::npos || equals == 0 || equals + 1 == pair.text.size()) {
        report(d, SEVERITY_ERROR, "verify '%s': write OUTPUT=READBACK", pair.text.c_str());
        return false;
    }
    pair.output = pair.text.substr(0, equals);
    std::string readback = pair.text.substr(equals + 1);
    for (size_t colon; (colon = readback.rfind(':')) != std::string::npos;) {
        // the readers' names (output/../hexfile), and :output
        const std::string suffix = folded(readback.substr(colon + 1));
        if (suffix != "output" && hex_format_of(suffix) == HEX_DETECT)
            break;
        if (suffix == "output")
            pair.file_addresses = true;
        else
            pair.readback.format = hex_format_of(suffix);
        readback.resize(colon);
    }
    pair.readback.name = readback;
    return true;
}

// OUTPUT among the run's output files, of any set; an ERROR listing them
// otherwise.
bool find_output(Diagnostics& d, const RangeState& ranges, const AlsoState& also, const OutputFormat& format,
                 VerifyPair& pair)
{
    std::string names;
    const auto look_in = [&](const RomRange* r, const OutputFormat& f) {
        for (int i = 0; r && !pair.range && i < r->file_count; ++i) {
            if (r->files[static_cast<size_t>(i)] == pair.output) {
                pair.range = r;
                pair.file = i;
                pair.format = &f;
            }
            names += (names.empty() ? "" : ", ") + r->files[static_cast<size_t>(i)];
        }
    };
    for (const RomRange* r : ranges.rom_list)
        look_in(r, format);
    for (const AlsoSet& set : also.sets)
        for (const RomRange& v : set.views)
            look_in(&v, *set.format);
    if (pair.range)
        return true;
    report(d, SEVERITY_ERROR, "verify '%s': the run writes no output file '%s' (its files: %s)", pair.text.c_str(),
           pair.output.c_str(), names.c_str());
    return false;
}

// Extents of a hex read-back in address order.
void index_readback(VerifyPair& pair)
{
    std::vector<size_t>& order = pair.by_address;
    order.resize(pair.readback.extents.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return pair.readback.extents[a].address < pair.readback.extents[b].address;
    });
}

void load_window(VerifyPair& pair, ReadbackWindow& w, Diagnostics& d, uint64_t address)
{
    if (address < w.start)
        w.next_extent = 0;
    w.start = address;
    w.end = address + WINDOW;
    w.bytes.assign(WINDOW, 0);
    w.present.assign(WINDOW, false);
    HexFile& hex = pair.readback;
    for (size_t k = w.next_extent; k < pair.by_address.size(); ++k) {
        const HexExtent& e = hex.extents[pair.by_address[k]];
        const uint64_t last = uint64_t{e.address} + e.length;  // past the extent
        if (last <= w.start) {
            w.next_extent = k + 1;
            continue;
        }
        if (e.address >= w.end)
            break;
        const uint64_t first = std::max<uint64_t>(e.address, w.start);
        const uint64_t stop = std::min<uint64_t>(last, w.end);
        if (!read_hex_bytes(hex, d, e, static_cast<uint32_t>(first - e.address), w.bytes.data() + (first - w.start),
                            static_cast<uint32_t>(stop - first)))
            end_run(1);
        std::fill(w.present.begin() + static_cast<long>(first - w.start),
                  w.present.begin() + static_cast<long>(stop - w.start), true);
    }
}

// The read-back's byte at address through a window; false when it holds none
// there.
bool readback_byte(VerifyPair& pair, ReadbackWindow& w, Diagnostics& d, uint64_t address, uint8_t& byte)
{
    if (address < w.start || address >= w.end)
        load_window(pair, w, d, address);
    const size_t at = static_cast<size_t>(address - w.start);
    byte = w.bytes[at];
    return w.present[at];
}

// Whether the read-back holds expected at address.
bool holds(VerifyPair& pair, ReadbackWindow& w, Diagnostics& d, uint64_t address, uint8_t expected)
{
    uint8_t found = 0;
    return readback_byte(pair, w, d, address, found) && found == expected;
}

// The address a file of khex gives a write's arranged byte q: without
// -romaddr and -zero its memory word's target address (or for a ROM at
// least as wide, the byte's), and the byte's place in the lane; `own` with
// the run's -romaddr and -zero.
uint32_t record_address_of(const VerifyState& verify, const RomRange& r, uint32_t address, uint32_t q, bool own)
{
    const uint32_t memwidth = static_cast<uint32_t>(r.memwidth), romwidth = static_cast<uint32_t>(r.romwidth);
    const bool zero = own && verify.zero;
    if (romwidth >= memwidth)
        return address + q - (zero ? r.origin : 0);
    const uint32_t word = address + q / memwidth * memwidth;
    const uint32_t j = q % memwidth % romwidth;
    if (own && device_addressing(verify.romaddr, r))
        return device_address(r, word, zero) + j;
    return word - (zero ? r.origin : 0) + j;
}

size_t owner_index(VerifyState& verify, const std::string& name)
{
    for (size_t i = 0; i < verify.owners.size(); ++i)
        if (verify.owners[i] == name)
            return i;
    verify.owners.push_back(name);
    return verify.owners.size() - 1;
}

// One byte compared: counted, and a difference joins its run.
void compare(VerifyState& verify, VerifyPair& pair, uint64_t at, uint8_t expected, uint32_t cpu, size_t owner,
             LaneBits bits)
{
    ++pair.compared;
    uint8_t found = 0;
    const bool present = readback_byte(pair, pair.window, *verify.diagnostics, at, found);
    if (present && found == expected)
        return;
    ++pair.differing;
    const uint32_t address = static_cast<uint32_t>(at);
    if (pair.first.size() < VERIFY_LISTED)
        pair.first.push_back(VerifyDifference{address, cpu, bits, owner, expected, present ? found : -1});
    const VerifyRun::Kind kind = present ? VerifyRun::CHANGED : VerifyRun::MISSING;
    if (!pair.runs.empty()) {
        VerifyRun& run = pair.runs.back();
        if (run.kind == kind && run.owner == owner && uint64_t{run.last} + 1 == at && run.bits.first_bit == bits.first_bit) {
            const uint64_t n = run_count(run);
            if (n < 4) {
                run.expected[n] = expected;
                run.found[n] = found;
            }
            run.last = address;
            return;
        }
    }
    pair.runs.push_back(VerifyRun{kind, address, address, cpu, owner, bits, {expected}, {found}});
}

// The other file of the run the pair keeps its count of.
VerifyOther& other_of(VerifyPair& pair, const RomRange& r, int file)
{
    for (VerifyOther& o : pair.others)
        if (o.range == &r && o.file == file)
            return o;
    return pair.others.emplace_back(VerifyOther{&r, file});
}

// A file-address pair's file is written whole: its bytes at its addresses
// against the read-back.
void verify_written_file(VerifyState& verify, VerifyPair& pair, const std::string& written_name)
{
    Diagnostics& d = *verify.diagnostics;
    HexFile written;
    written.name = written_name;
    written.format = pair.format->readback;
    if (!open_hex_file(written, d))
        internal_error(d, "cannot read back the file khex would write for '%s'", pair.output.c_str());
    const RomRange& r = *pair.range;
    const uint32_t memwidth = static_cast<uint32_t>(r.memwidth), rom = static_cast<uint32_t>(r.romwidth);
    const uint32_t lane = static_cast<uint32_t>(lane_of_file(r, verify.arrangement.order, pair.file));
    const LaneBits bits = file_lane_bits(verify.arrangement, r, pair.file);
    std::vector<uint8_t> bytes;
    uint64_t n = 0;  // the file's data bytes so far
    size_t tap = 0;
    for (const HexExtent& e : written.extents) {
        bytes.resize(e.length);
        if (!read_hex_bytes(written, d, e, 0, bytes.data(), e.length))
            internal_error(d, "cannot read back the file khex would write for '%s'", pair.output.c_str());
        for (uint32_t i = 0; i < e.length; ++i, ++n) {
            while (tap + 1 < pair.taps.size() && pair.taps[tap + 1].first <= n)
                ++tap;
            const VerifyTap& t = pair.taps[tap];
            const uint32_t m = static_cast<uint32_t>(n - t.first);
            const uint32_t q = rom >= memwidth ? m : m / rom * memwidth + lane * rom + m % rom;
            const uint32_t cpu = cpu_address(t.address, q, t.source.data(), static_cast<int>(t.source.size()));
            const bool inner = cpu >= t.inner_first && cpu <= t.inner_last;
            compare(verify, pair, uint64_t{e.address} + i, bytes[i], cpu, inner ? t.inner : t.owner, bits);
        }
    }
    close_hex_file(written);
}

}  // namespace

void read_verify_requests(VerifyState& verify, Diagnostics& d, const ConvOptions& options, const RangeState& ranges,
                          const AlsoState& also, const OutputFormat& format)
{
    verify.diagnostics = &d;
    for (const std::string& text : options.verifies) {
        VerifyPair& pair = verify.pairs.emplace_back();
        pair.text = text;
        if (!split_request(d, pair) || !find_output(d, ranges, also, format, pair))
            continue;
        if (pair.format->binary)
            pair.file_addresses = true;  // a Binary file is compared as it lies
        if (pair.file_addresses && pair.format->readback == HEX_DETECT) {
            report(d, SEVERITY_ERROR, "verify '%s': :output needs an output whose addresses khex reads (%s)",
                   text.c_str(), readable_format_names().c_str());
            continue;
        }
        pair.readback.lenient_count = true;
        if (open_hex_file(pair.readback, d))
            index_readback(pair);
    }
}

void start_verify(VerifyState& verify, Diagnostics& d, const WordArrangement& arrangement, bool romaddr, bool zero)
{
    verify.diagnostics = &d;
    verify.arrangement = arrangement;
    verify.romaddr = romaddr;
    verify.zero = zero;
}

FILE* verify_open_file(VerifyState& verify, const RomRange& r, int file)
{
    VerifyPair* pair = nullptr;
    for (VerifyPair& p : verify.pairs)
        if (!pair && p.range == &r && p.file == file && p.file_addresses && p.readback.file)
            pair = &p;
    if (!pair)
        return nullptr;
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path dir = fs::temp_directory_path(error);
    pair->temporary = (dir / ("khex-verify-" + std::to_string(process_id()) + "-" +
                              std::to_string(verify.temporaries++)))
                          .string();
    pair->written = create_new_file(pair->temporary, true);
    if (!pair->written)
        fatal(*verify.diagnostics, "cannot create a temporary file '%s': %s", pair->temporary.c_str(),
              std::strerror(errno));
    return pair->written;
}

void verify_write(VerifyState& verify, const RomRange& r, uint32_t address, const uint8_t* data, int nbytes,
                  const ByteOwner& owner)
{
    if (verify.pairs.empty())
        return;
    Diagnostics& d = *verify.diagnostics;
    const size_t named = owner_index(verify, std::string(owner.prefix) + owner.name);
    const size_t inner = owner.inner.empty() ? named : owner_index(verify, owner.inner);
    const bool own_differs = verify.romaddr || verify.zero;
    for (VerifyPair& pair : verify.pairs) {
        if (!pair.readback.file)
            continue;
        if (pair.range == &r) {
            const uint32_t lane = static_cast<uint32_t>(lane_of_file(r, verify.arrangement.order, pair.file));
            if (pair.file_addresses) {
                const uint32_t count = r.romwidth >= r.memwidth ? static_cast<uint32_t>(nbytes)
                                                                : static_cast<uint32_t>(nbytes / r.memwidth * r.romwidth);
                pair.taps.push_back(VerifyTap{pair.tapped, count, address, named, inner, owner.inner_first,
                                              owner.inner_last,
                                              std::vector<uint8_t>(owner.source, owner.source + (owner.source ? owner.period : 0))});
                pair.tapped += count;
                continue;
            }
            const LaneBits bits = file_lane_bits(verify.arrangement, r, pair.file);
            lane_bytes_of(r, lane, nbytes, [&](uint32_t q) {
                const uint32_t cpu = cpu_address(address, q, owner.source, owner.period);
                const bool in_slot = cpu >= owner.inner_first && cpu <= owner.inner_last;
                compare(verify, pair, device_of(r, address, q), data[q], cpu, in_slot ? inner : named, bits);
                // the same byte where a file without -romaddr, or the run's own file, puts it
                if (!holds(pair, pair.cpu_window, d, record_address_of(verify, r, address, q, false), data[q]))
                    ++pair.cpu_differing;
                if (own_differs && !holds(pair, pair.own_window, d, record_address_of(verify, r, address, q, true),
                                          data[q]))
                    ++pair.own_differing;
            });
        }
        if (pair.file_addresses)
            continue;
        // every other file of the run against the same read-back: a device
        // read back into the wrong pair
        for (int file = 0; file < r.file_count; ++file) {
            if (pair.range == &r && pair.file == file)
                continue;
            VerifyOther& other = other_of(pair, r, file);
            const uint32_t lane = static_cast<uint32_t>(lane_of_file(r, verify.arrangement.order, file));
            lane_bytes_of(r, lane, nbytes, [&](uint32_t q) {
                ++other.compared;
                if (!holds(pair, pair.window, d, device_of(r, address, q), data[q]))
                    ++other.differing;
            });
        }
    }
}

void verify_file_written(VerifyState& verify, const RomRange& r, int file, FILE* written)
{
    VerifyPair* first = nullptr;
    for (VerifyPair& p : verify.pairs)
        if (!first && p.written == written)
            first = &p;
    const bool closed = std::fclose(written) == 0;
    if (first)
        first->written = nullptr;
    if (!first || !closed)
        fatal(*verify.diagnostics, "error writing a temporary file '%s': %s",
              first ? first->temporary.c_str() : "", std::strerror(errno));
    // every read-back of the file against the one text
    for (VerifyPair& pair : verify.pairs)
        if (pair.range == &r && pair.file == file && pair.file_addresses && pair.readback.file)
            verify_written_file(verify, pair, first->temporary);
}

uint64_t run_count(const VerifyRun& run)
{
    return uint64_t{run.last} - run.first + 1;
}

std::vector<std::string> verify_hints(const VerifyState& verify, const VerifyPair& pair)
{
    (void)verify;
    std::vector<std::string> hints;
    const std::string& readback = pair.readback.name;
    if (pair.readback.extents.empty()) {
        hints.push_back("the read-back " + readback + " is empty");
        return hints;
    }
    if (pair.differing == 0)
        return hints;
    for (const VerifyOther& o : pair.others) {
        if (o.compared != 0 && o.differing == 0) {
            hints.push_back(readback + " matches " + o.range->files[static_cast<size_t>(o.file)] + ", not " +
                            pair.output + ": wrong device?");
            return hints;
        }
    }
    if (!pair.file_addresses && pair.compared != 0 && pair.cpu_differing == 0)
        hints.push_back(readback + " matches at the CPU addresses: write it with -romaddr, or verify with :output");
    else if (!pair.file_addresses && pair.compared != 0 && (verify.romaddr || verify.zero) && pair.own_differing == 0)
        hints.push_back(readback + " matches at the addresses khex writes into " + pair.output +
                        ": verify with :output");
    return hints;
}

namespace {

void print_values(FILE* out, const uint8_t* values, uint64_t count, bool found)
{
    std::fprintf(out, found ? ", found" : ", expected");
    for (uint64_t i = 0; i < std::min<uint64_t>(count, 4); ++i)
        std::fprintf(out, " %02x", values[i]);
    if (count > 4)
        std::fprintf(out, " ...");
}

void print_run(const VerifyState& verify, const VerifyRun& run, FILE* out)
{
    const uint64_t count = run_count(run);
    const char* owner = verify.owners[run.owner].c_str();
    if (count == 1) {
        std::fprintf(out, "  device 0x%06lx (cpu 0x%06lx, b%d..b%d, %s): expected %02x, found ", hex(run.first),
                     hex(run.cpu), run.bits.first_bit, run.bits.last_bit, owner, run.expected[0]);
        if (run.kind == VerifyRun::MISSING)
            std::fprintf(out, "nothing\n");
        else
            std::fprintf(out, "%02x\n", run.found[0]);
        return;
    }
    std::fprintf(out, "  device 0x%06lx..0x%06lx (cpu 0x%06lx, b%d..b%d, %s): %llu bytes ", hex(run.first),
                 hex(run.last), hex(run.cpu), run.bits.first_bit, run.bits.last_bit, owner,
                 static_cast<unsigned long long>(count));
    if (run.kind == VerifyRun::MISSING) {
        std::fprintf(out, "missing\n");
        return;
    }
    std::fprintf(out, "changed");
    print_values(out, run.expected, count, false);
    print_values(out, run.found, count, true);
    std::fprintf(out, "\n");
}

}  // namespace

void print_verify(const VerifyState& verify, FILE* out, uint32_t limit)
{
    for (const VerifyPair& pair : verify.pairs) {
        if (pair.differing == 0)
            std::fprintf(out, "verify %s: %s matches (%llu bytes)", pair.output.c_str(), pair.readback.name.c_str(),
                         static_cast<unsigned long long>(pair.compared));
        else
            std::fprintf(out, "verify %s: %s differs in %llu of %llu bytes", pair.output.c_str(),
                         pair.readback.name.c_str(), static_cast<unsigned long long>(pair.differing),
                         static_cast<unsigned long long>(pair.compared));
        if (!pair.readback.note.empty())
            std::fprintf(out, " (%s)", pair.readback.note.c_str());
        std::fprintf(out, "\n");
        const size_t shown = limit == 0 ? pair.runs.size() : std::min<size_t>(limit, pair.runs.size());
        for (size_t i = 0; i < shown; ++i)
            print_run(verify, pair.runs[i], out);
        if (shown < pair.runs.size()) {
            uint64_t bytes = 0;
            for (size_t i = shown; i < pair.runs.size(); ++i)
                bytes += run_count(pair.runs[i]);
            const size_t more = pair.runs.size() - shown;
            std::fprintf(out, "  and %llu more run%s (%llu byte%s)\n", static_cast<unsigned long long>(more),
                         more == 1 ? "" : "s", static_cast<unsigned long long>(bytes), bytes == 1 ? "" : "s");
        }
        for (const std::string& hint : verify_hints(verify, pair))
            std::fprintf(out, "hint: %s\n", hint.c_str());
    }
}

bool verify_differs(const VerifyState& verify)
{
    for (const VerifyPair& pair : verify.pairs)
        if (pair.differing != 0)
            return true;
    return false;
}

void close_verify(VerifyState& verify)
{
    for (VerifyPair& pair : verify.pairs) {
        close_hex_file(pair.readback);
        if (pair.written)
            std::fclose(pair.written);
        pair.written = nullptr;
        if (!pair.temporary.empty())
            std::remove(pair.temporary.c_str());
        pair.temporary.clear();
    }
}

}  // namespace khex
