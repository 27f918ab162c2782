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

// The read-back's formats by suffix, and :output.
const char* const SUFFIXES[] = {"binary", "intel", "motorola", "tektronix", "output"};

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
        const std::string suffix = folded(readback.substr(colon + 1));
        if (std::find(std::begin(SUFFIXES), std::end(SUFFIXES), suffix) == std::end(SUFFIXES))
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

// OUTPUT among the run's output files; an ERROR listing them otherwise.
bool find_output(Diagnostics& d, const RangeState& ranges, VerifyPair& pair)
{
    std::string names;
    for (const RomRange* r : ranges.rom_list) {
        for (int i = 0; i < r->file_count; ++i) {
            if (r->files[static_cast<size_t>(i)] == pair.output) {
                pair.range = r;
                pair.file = i;
                return true;
            }
            names += (names.empty() ? "" : ", ") + r->files[static_cast<size_t>(i)];
        }
    }
    report(d, SEVERITY_ERROR, "verify '%s': the run writes no output file '%s' (its files: %s)", pair.text.c_str(),
           pair.output.c_str(), names.c_str());
    return false;
}

// Extents of a hex read-back in address order.
void index_readback(VerifyPair& pair)
{
    std::vector<size_t>& order = pair.window.by_address;
    order.resize(pair.readback.extents.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return pair.readback.extents[a].address < pair.readback.extents[b].address;
    });
}

void load_window(VerifyPair& pair, Diagnostics& d, uint64_t address)
{
    ReadbackWindow& w = pair.window;
    if (address < w.start)
        w.next_extent = 0;
    w.start = address;
    w.end = address + WINDOW;
    w.bytes.assign(WINDOW, 0);
    w.present.assign(WINDOW, false);
    HexFile& hex = pair.readback;
    for (size_t k = w.next_extent; k < w.by_address.size(); ++k) {
        const HexExtent& e = hex.extents[w.by_address[k]];
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

// The read-back's byte at address; false when it holds none there.
bool readback_byte(VerifyPair& pair, Diagnostics& d, uint64_t address, uint8_t& byte)
{
    ReadbackWindow& w = pair.window;
    if (address < w.start || address >= w.end)
        load_window(pair, d, address);
    const size_t at = static_cast<size_t>(address - w.start);
    byte = w.bytes[at];
    return w.present[at];
}

// The target address an arranged byte at offset q of a write came from.
uint32_t cpu_address(uint32_t address, uint32_t q, const uint8_t* source, int period)
{
    if (period <= 0 || !source)
        return address + q;
    const uint32_t p = static_cast<uint32_t>(period);
    return address + q / p * p + source[q % p];
}

// Where a write's arranged byte q, in lane k, lies in the device.
uint32_t device_of(const RomRange& r, uint32_t address, uint32_t q)
{
    if (r.romwidth >= r.memwidth)
        return address - r.origin + q;
    const uint32_t memwidth = static_cast<uint32_t>(r.memwidth), romwidth = static_cast<uint32_t>(r.romwidth);
    const uint32_t word = (address - r.origin) / memwidth + q / memwidth;
    return word * romwidth + q % memwidth % romwidth;
}

// One byte compared: counted, and listed among the first differences.
void compare(VerifyPair& pair, Diagnostics& d, uint64_t at, uint8_t expected, uint32_t device, uint32_t cpu,
             const std::string& owner_prefix, const char* owner_name, LaneBits bits)
{
    ++pair.compared;
    uint8_t found = 0;
    const bool present = readback_byte(pair, d, at, found);
    if (present && found == expected)
        return;
    ++pair.differing;
    if (pair.first.size() < VERIFY_LISTED)
        pair.first.push_back(VerifyDifference{device, cpu, bits, owner_prefix + owner_name,
                                              expected, present ? found : -1});
}

}  // namespace

void read_verify_requests(VerifyState& verify, Diagnostics& d, const ConvOptions& options, const RangeState& ranges,
                          const OutputFormat& format)
{
    for (const std::string& text : options.verifies) {
        VerifyPair& pair = verify.pairs.emplace_back();
        pair.text = text;
        if (!split_request(d, pair) || !find_output(d, ranges, pair))
            continue;
        if (format.binary)
            pair.file_addresses = true;  // a Binary file is compared as it lies
        const bool readable = format.index == FORMAT_INTEL || format.index == FORMAT_TEKTRONIX || format.binary ||
                              (format.index >= FORMAT_MOTOROLA && format.index <= FORMAT_MOTOROLA_S3);
        if (pair.file_addresses && !readable) {
            report(d, SEVERITY_ERROR, "verify '%s': :output needs an Intel, Motorola, Extended Tektronix or Binary "
                                      "output, whose addresses khex reads",
                   text.c_str());
            continue;
        }
        if (open_hex_file(pair.readback, d))
            index_readback(pair);
    }
}

void verify_write(VerifyState& verify, Diagnostics& d, const RomRange& r, uint32_t address, const uint8_t* data,
                  int nbytes, const ByteOwner& owner, const int lane_of_file[], const LaneBits bits_of_file[])
{
    const uint32_t memwidth = static_cast<uint32_t>(r.memwidth), romwidth = static_cast<uint32_t>(r.romwidth);
    const uint32_t n = static_cast<uint32_t>(nbytes);
    for (VerifyPair& pair : verify.pairs) {
        if (pair.range != &r || !pair.readback.file)
            continue;
        const uint32_t lane = static_cast<uint32_t>(lane_of_file[pair.file]);
        const uint32_t lane_bytes = romwidth >= memwidth ? n : n / memwidth * romwidth;
        if (pair.file_addresses) {
            pair.taps.push_back(VerifyTap{pair.tapped, lane_bytes, address, std::string(owner.prefix) + owner.name,
                                          std::vector<uint8_t>(owner.source, owner.source + (owner.source ? owner.period : 0)),
                                          owner.inner, owner.inner_first, owner.inner_last});
            pair.tapped += lane_bytes;
            continue;
        }
        for (uint32_t m = 0; m < lane_bytes; ++m) {
            // byte m of the lane's part: its offset in the write
            const uint32_t q = romwidth >= memwidth ? m : m / romwidth * memwidth + lane * romwidth + m % romwidth;
            const uint32_t device = device_of(r, address, q);
            const uint32_t cpu = cpu_address(address, q, owner.source, owner.period);
            if (cpu >= owner.inner_first && cpu <= owner.inner_last)
                compare(pair, d, device, data[q], device, cpu, "", owner.inner.c_str(), bits_of_file[pair.file]);
            else
                compare(pair, d, device, data[q], device, cpu, owner.prefix, owner.name, bits_of_file[pair.file]);
        }
    }
}

VerifyPair* file_address_pair(VerifyState& verify, const RomRange& r, int i)
{
    for (VerifyPair& pair : verify.pairs)
        if (pair.range == &r && pair.file == i && pair.file_addresses && pair.readback.file)
            return &pair;
    return nullptr;
}

void verify_written_file(VerifyPair& pair, const std::string& written_name, Diagnostics& d, int format, int lane,
                         int romwidth, LaneBits bits)
{
    HexFile written;
    written.name = written_name;
    written.format = format;
    if (!open_hex_file(written, d))
        internal_error(d, "cannot read back the file khex would write for '%s'", pair.output.c_str());
    const RomRange& r = *pair.range;
    const uint32_t memwidth = static_cast<uint32_t>(r.memwidth), rom = static_cast<uint32_t>(romwidth);
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
            const uint32_t q = rom >= memwidth ? m : m / rom * memwidth + static_cast<uint32_t>(lane) * rom + m % rom;
            const uint32_t cpu = cpu_address(t.address, q, t.source.data(), static_cast<int>(t.source.size()));
            const bool inner = cpu >= t.inner_first && cpu <= t.inner_last;
            compare(pair, d, uint64_t{e.address} + i, bytes[i], device_of(r, t.address, q), cpu, "",
                    inner ? t.inner.c_str() : t.owner.c_str(), bits);
        }
    }
    close_hex_file(written);
}

void print_verify(const VerifyState& verify, FILE* out)
{
    for (const VerifyPair& pair : verify.pairs) {
        if (pair.differing == 0)
            std::fprintf(out, "verify %s: %s matches (%llu bytes)\n", pair.output.c_str(), pair.readback.name.c_str(),
                         static_cast<unsigned long long>(pair.compared));
        else
            std::fprintf(out, "verify %s: %s differs in %llu of %llu bytes\n", pair.output.c_str(),
                         pair.readback.name.c_str(), static_cast<unsigned long long>(pair.differing),
                         static_cast<unsigned long long>(pair.compared));
        for (const VerifyDifference& f : pair.first) {
            std::fprintf(out, "  device 0x%06lx (cpu 0x%06lx, b%d..b%d, %s): expected %02x, found ", hex(f.address),
                         hex(f.cpu), f.bits.first_bit, f.bits.last_bit, f.owner.c_str(), f.expected);
            if (f.found < 0)
                std::fprintf(out, "nothing\n");
            else
                std::fprintf(out, "%02x\n", f.found);
        }
        if (pair.differing > pair.first.size())
            std::fprintf(out, "  and %llu more\n", static_cast<unsigned long long>(pair.differing - pair.first.size()));
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
