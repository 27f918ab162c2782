// Extended Tektronix: "%", the length of the block after the "%" (two hex
// digits), its type (6 data, 8 termination, 3 symbols), a checksum of two
// hex digits that is the sum of the values of every other character after
// the "%", then an address of 1 to 15 digits after a digit that gives its
// length, then the data. Symbol blocks are checked and skipped; their names
// may hold other printable characters, which count 0 in the checksum.
#include "hexfile/records.h"

namespace khex {

namespace {

// A character's value in the checksum: digits, then upper-case letters,
// "$", "%", ".", "_", then lower-case letters; -1 for any other.
int character_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'Z')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 40;
    switch (c) {
    case '$': return 36;
    case '%': return 37;
    case '.': return 38;
    case '_': return 39;
    default: return -1;
    }
}

}  // namespace

namespace {

// The address after the block's header: a digit that gives its length (1 to
// F), then that many digits; the value must fit 32 bits.
bool read_address(const char* line, size_t n, uint32_t& digits, uint32_t& address, std::string& error)
{
    uint64_t wide = 0;
    if (n < 7 || !hex_number(line + 6, 1, digits) || digits == 0 || n < 7 + digits) {
        error = "malformed address";
        return false;
    }
    for (uint32_t i = 0; i < digits; ++i) {
        const int d = hex_digit(line[7 + i]);
        if (d < 0) {
            error = "malformed address";
            return false;
        }
        wide = wide << 4 | static_cast<uint64_t>(d);
    }
    if (wide > 0xFFFFFFFFull) {
        error = "address of more than 32 bits";
        return false;
    }
    address = static_cast<uint32_t>(wide);
    return true;
}

// The data digits after the address of a data block.
bool read_data(const char* digits_start, size_t data_digits, uint32_t address, HexRecord& record, std::string& error)
{
    if (data_digits % 2 != 0) {
        error = "an odd number of data digits";
        return false;
    }
    const uint32_t count = static_cast<uint32_t>(data_digits / 2);
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t byte = 0;
        if (!hex_number(digits_start + 2 * i, 2, byte)) {
            error = "not a hex digit";
            return false;
        }
        record.data[i] = static_cast<uint8_t>(byte);
    }
    if (uint64_t{address} + count > 0x100000000ull) {
        error = "data runs past address 0xFFFFFFFF";
        return false;
    }
    record.kind = HexRecord::DATA;
    record.address = address;
    record.length = count;
    return true;
}

// The header's length and the characters' sum.
bool check_block(const char* line, size_t n, uint32_t& type, std::string& error)
{
    uint32_t length = 0, checksum = 0;
    if (n < 6 || line[0] != '%' || !hex_number(line + 1, 2, length) || !hex_number(line + 3, 1, type) ||
        !hex_number(line + 4, 2, checksum)) {
        error = n < 6 ? "block too short" : "not a hex digit in the block's header";
        return false;
    }
    if (n != length + 1) {
        error = "length " + std::to_string(length) + " does not match the block's " + std::to_string(n - 1) +
                " characters";
        return false;
    }
    uint32_t sum = 0;
    for (size_t i = 1; i < n; ++i) {
        int value = character_value(line[i]);
        // the names of a symbol block may hold other printable characters
        // (objcopy's "*ABS*"), which count 0 in the checksum
        if (value < 0 && type == 3 && line[i] > ' ' && line[i] < 0x7F)
            value = 0;
        if (value < 0) {
            error = "a character that no block holds";
            return false;
        }
        if (i != 4 && i != 5)
            sum += static_cast<uint32_t>(value);
    }
    if ((sum & 0xFF) != checksum) {
        error = "wrong checksum";
        return false;
    }
    return true;
}

}  // namespace

bool parse_tektronix(const char* line, size_t n, HexParse&, HexRecord& record, std::string& error)
{
    uint32_t type = 0;
    if (!check_block(line, n, type, error))
        return false;
    record.kind = HexRecord::OTHER;
    if (type == 3)
        return true;
    if (type != 6 && type != 8) {
        error = "unknown block type " + std::to_string(type);
        return false;
    }
    uint32_t digits = 0, address = 0;
    if (!read_address(line, n, digits, address, error))
        return false;
    const size_t data_digits = n - 7 - digits;
    if (type == 8) {
        record.kind = HexRecord::END;
        if (data_digits != 0)
            error = "termination block with data";
        return data_digits == 0;
    }
    return read_data(line + 7 + digits, data_digits, address, record, error);
}

}  // namespace khex
