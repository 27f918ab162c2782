#include "output/delta.h"

#include <algorithm>
#include <cstdio>

#include "memory/lanes.h"

namespace khex {

namespace {

void collect_slots(DeltaCapture& delta)
{
    delta.slots_known = true;
    for (const Value& v : delta.values->list)
        if (v.per_unit && v.size != 0)
            delta.slots.push_back({v.range, v.at, v.at + v.size - 1});
}

DeltaLane& lane_of(DeltaCapture& delta, const RomRange& r, int file)
{
    for (DeltaLane& lane : delta.lanes)
        if (lane.range == &r && lane.file == file)
            return lane;
    return delta.lanes.emplace_back(DeltaLane{&r, file, r.files[static_cast<size_t>(file)], {}});
}

void append_record(std::string& text, uint8_t type, uint16_t address, const uint8_t* data, size_t n)
{
    char field[16];
    uint8_t sum = static_cast<uint8_t>(n + (address >> 8) + (address & 0xFF) + type);
    std::snprintf(field, sizeof field, ":%02X%04X%02X", static_cast<unsigned>(n), address, type);
    text += field;
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(field, sizeof field, "%02X", data[i]);
        text += field;
        sum = static_cast<uint8_t>(sum + data[i]);
    }
    std::snprintf(field, sizeof field, "%02X\n", static_cast<uint8_t>(-sum));
    text += field;
}

}  // namespace

void start_delta_capture(DeltaCapture& delta, const ValueState& values, int order)
{
    delta = DeltaCapture{};
    delta.values = &values;
    delta.order = order;
}

void delta_write(DeltaCapture& delta, const RomRange& r, uint32_t address, const uint8_t* data, int nbytes,
                 const ByteOwner& owner)
{
    if (!delta.slots_known)
        collect_slots(delta);
    const uint64_t end = uint64_t{address} + static_cast<uint32_t>(nbytes);
    bool touched = false;
    for (const DeltaCapture::Slot& s : delta.slots)
        touched |= s.range == &r && s.first < end && s.last >= address;
    if (!touched)
        return;
    for (int file = 0; file < r.file_count; ++file) {
        const uint32_t lane = static_cast<uint32_t>(lane_of_file(r, delta.order, file));
        lane_bytes_of(r, lane, nbytes, [&](uint32_t q) {
            const uint32_t cpu = cpu_address(address, q, owner.source, owner.period);
            for (const DeltaCapture::Slot& s : delta.slots)
                if (s.range == &r && cpu >= s.first && cpu <= s.last) {
                    lane_of(delta, r, file).bytes.emplace_back(device_of(r, address, q), data[q]);
                    break;
                }
        });
    }
}

void finish_delta_capture(DeltaCapture& delta)
{
    for (DeltaLane& lane : delta.lanes) {
        std::stable_sort(lane.bytes.begin(), lane.bytes.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        // a slot written twice (by a pre-pass's guess and then the value) keeps the last
        std::vector<std::pair<uint32_t, uint8_t>> unique;
        for (const auto& b : lane.bytes) {
            if (!unique.empty() && unique.back().first == b.first)
                unique.back() = b;
            else
                unique.push_back(b);
        }
        lane.bytes = std::move(unique);
    }
}

std::string delta_intel(const DeltaLane& lane)
{
    std::string text;
    uint32_t upper = 0;
    size_t i = 0;
    while (i < lane.bytes.size()) {
        const uint32_t start = lane.bytes[i].first;
        if (start >> 16 != upper) {
            upper = start >> 16;
            const uint8_t high[2] = {static_cast<uint8_t>(upper >> 8), static_cast<uint8_t>(upper)};
            append_record(text, 4, 0, high, 2);
        }
        uint8_t data[16];
        size_t n = 0;
        while (i < lane.bytes.size() && n < 16 && lane.bytes[i].first == start + n && (start + n) >> 16 == upper)
            data[n++] = lane.bytes[i++].second;
        append_record(text, 0, static_cast<uint16_t>(start), data, n);
    }
    append_record(text, 1, 0, nullptr, 0);
    return text;
}

std::string delta_list(const std::string& id, const DeltaLane& lane)
{
    std::string text;
    char field[16];
    for (size_t i = 0; i < lane.bytes.size();) {
        const uint32_t start = lane.bytes[i].first;
        std::snprintf(field, sizeof field, "0x%08lx", static_cast<unsigned long>(start));
        text += id + " " + lane.name + " " + field + " ";
        for (uint32_t n = 0; i < lane.bytes.size() && lane.bytes[i].first == start + n; ++n, ++i) {
            std::snprintf(field, sizeof field, "%02x", lane.bytes[i].second);
            text += field;
        }
        text += "\n";
    }
    return text;
}

}  // namespace khex
