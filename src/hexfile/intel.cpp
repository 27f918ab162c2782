// Intel hex: ":" count, 16-bit address, type, data, checksum. Data records
// are placed after the last extended segment (02) or linear (04) address and
// run on linearly past a 64 KiB boundary, as SRecord writes them in linear
// mode; start records (03, 05) are accepted and ignored.
#include "hexfile/records.h"

namespace khex {

namespace {

constexpr size_t HEADER = 9;  // ":", count, address, type

// the data bytes into the record, and the checksum over the header's sum,
// the data and the checksum byte itself
bool record_bytes(const char* line, uint32_t count, uint32_t sum, HexRecord& record, std::string& error)
{
    for (uint32_t i = 0; i <= count; ++i) {
        uint32_t byte = 0;
        if (!hex_number(line + HEADER + 2 * i, 2, byte)) {
            error = "not a hex digit";
            return false;
        }
        if (i < count)
            record.data[i] = static_cast<uint8_t>(byte);
        sum += byte;
    }
    if ((sum & 0xFF) != 0) {
        error = "wrong checksum";
        return false;
    }
    return true;
}

}  // namespace

bool parse_intel(const char* line, size_t n, HexParse& state, HexRecord& record, std::string& error)
{
    uint32_t count = 0, address = 0, type = 0;
    if (n < HEADER + 2 || line[0] != ':' || !hex_number(line + 1, 2, count) || !hex_number(line + 3, 4, address) ||
        !hex_number(line + 7, 2, type)) {
        error = n < HEADER + 2 ? "record too short" : "not a hex digit in the record's header";
        return false;
    }
    if (n != HEADER + 2 * count + 2) {
        error = "count " + std::to_string(count) + " does not match the " + std::to_string((n - HEADER) / 2) +
                " bytes after the record's header" + ((n - HEADER) % 2 ? " and an odd digit" : "");
        return false;
    }
    if (!record_bytes(line, count, count + (address >> 8) + (address & 0xFF) + type, record, error))
        return false;
    record.kind = HexRecord::OTHER;
    switch (type) {
    case 0:
        if (uint64_t{state.base} + address + count > 0x100000000ull) {
            error = "data runs past address 0xFFFFFFFF";
            return false;
        }
        record.kind = HexRecord::DATA;
        record.address = state.base + address;
        record.length = count;
        return true;
    case 1:
        if (count != 0)
            break;
        record.kind = HexRecord::END;
        return true;
    case 2:
    case 4:
        if (count != 2)
            break;
        state.base = (uint32_t{record.data[0]} << 8 | record.data[1]) << (type == 2 ? 4 : 16);
        return true;
    case 3:
    case 5:
        if (count != 4)
            break;
        return true;
    default:
        error = "unknown record type " + std::to_string(type);
        return false;
    }
    error = "record of type " + std::to_string(type) + " with " + std::to_string(count) + " data bytes";
    return false;
}

}  // namespace khex
