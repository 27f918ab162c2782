// Motorola S-records: "S", type, count (of the address, data and checksum
// bytes), address, data, checksum (the ones' complement of the sum of the
// count, address and data bytes). S0 is a header, S1/S2/S3 carry data with
// 16/24/32-bit addresses, S5/S6 count the data records before them (checked
// when present), S7/S8/S9 end the file (optional); S4 does not exist.
#include "hexfile/records.h"

namespace khex {

namespace {

// Address bytes of each record type; 0 for S4.
constexpr int ADDRESS_BYTES[10] = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};

}  // namespace

bool parse_motorola(const char* line, size_t n, HexParse& state, HexRecord& record, std::string& error)
{
    uint32_t count = 0;
    if (n < 4 || line[0] != 'S' || line[1] < '0' || line[1] > '9' || !hex_number(line + 2, 2, count)) {
        error = n < 4 ? "record too short" : "not an S-record";
        return false;
    }
    const int type = line[1] - '0';
    const uint32_t address_bytes = static_cast<uint32_t>(ADDRESS_BYTES[type]);
    if (address_bytes == 0) {
        error = "S4 is not a record type";
        return false;
    }
    if (n != 4 + 2 * static_cast<size_t>(count) || count < address_bytes + 1) {
        error = "count " + std::to_string(count) + " does not match the record's " +
                std::to_string(n < 4 ? 0 : (n - 4) / 2) + " bytes" + ((n - 4) % 2 ? " and an odd digit" : "");
        return false;
    }
    uint32_t sum = count;
    uint32_t address = 0;
    const uint32_t data_bytes = count - address_bytes - 1;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t byte = 0;
        if (!hex_number(line + 4 + 2 * i, 2, byte)) {
            error = "not a hex digit";
            return false;
        }
        if (i < address_bytes)
            address = address << 8 | byte;
        else if (i < address_bytes + data_bytes)
            record.data[i - address_bytes] = static_cast<uint8_t>(byte);
        if (i + 1 < count)
            sum += byte;
        else if (((~sum) & 0xFF) != byte) {
            error = "wrong checksum";
            return false;
        }
    }
    record.kind = HexRecord::OTHER;
    if (type >= 1 && type <= 3) {
        if (uint64_t{address} + data_bytes > 0x100000000ull) {
            error = "data runs past address 0xFFFFFFFF";
            return false;
        }
        record.kind = HexRecord::DATA;
        record.address = address;
        record.length = data_bytes;
        ++state.data_records;
    } else if (type == 5 || type == 6) {
        if (address != state.data_records) {
            const std::string says = "count record says " + std::to_string(address) + " data records, the file has " +
                                     std::to_string(state.data_records) + " before it";
            if (!state.lenient_count) {
                error = says;
                return false;
            }
            if (state.note.empty())
                state.note = "its " + says;
        }
    } else if (type >= 7) {
        record.kind = HexRecord::END;
    }
    return true;
}

}  // namespace khex
