// A lot's deltas for a programming station: the bytes of a unit's per-unit
// slots (its stamps, and the checksums and fields over them) as each lane
// file holds them, at the lane's device addresses, caught from a run that
// writes no file; and their text, as Intel hex records or as a list.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "memory/ranges.h"
#include "memory/values.h"
#include "output/framework.h"

namespace khex {

struct DeltaLane {
    const RomRange* range = nullptr;
    int file = 0;                  // the file's place among the range's files
    std::string name;              // the file's name in the run
    std::vector<std::pair<uint32_t, uint8_t>> bytes;  // device address, byte; in address order once finished
};

struct DeltaCapture {
    const ValueState* values = nullptr;
    int order = 0;                 // the arrangement's -order, for the lanes
    struct Slot {
        const RomRange* range;
        uint32_t first, last;
    };
    std::vector<Slot> slots;       // the per-unit slots, once the first write comes
    bool slots_known = false;
    std::vector<DeltaLane> lanes;
};

// Starts catching the run's writes.
void start_delta_capture(DeltaCapture& delta, const ValueState& values, int order);
// One write of the run: the bytes of per-unit slots, lane by lane.
void delta_write(DeltaCapture& delta, const RomRange& r, uint32_t address, const uint8_t* data, int nbytes,
                 const ByteOwner& owner);
// The lanes' bytes in address order, each address once.
void finish_delta_capture(DeltaCapture& delta);

// A lane's bytes as Intel hex records (at most 16 bytes each, extended linear
// addresses where needed), ended by an end-of-file record.
std::string delta_intel(const DeltaLane& lane);
// A lane's bytes as lines "ID FILE 0xADDRESS BYTES", a line for each run of
// consecutive addresses.
std::string delta_list(const std::string& id, const DeltaLane& lane);

}  // namespace khex
