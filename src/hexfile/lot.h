// Reading a production lot: a CSV file (comma-separated, quoted as RFC 4180
// quotes) whose header row names its columns, one of them `id`, and whose
// every other row is a unit with its id and its values. The file comes from
// outside the build and is untrusted: every row is checked, and every error
// names file:line.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace khex {

// The most units a lot holds, and the longest value a field holds (bytes).
constexpr size_t MAX_LOT_UNITS = 100000;
constexpr size_t MAX_LOT_FIELD = 4096;

struct LotUnit {
    std::string id;
    unsigned line = 0;                // where its row starts
    std::vector<std::string> values;  // one a column, in the header's order
};

struct Lot {
    std::string name;                  // the file, as messages name it
    std::vector<std::string> columns;  // the header's names
    size_t id_column = 0;
    std::vector<LotUnit> units;        // in the file's order
};

// What is wrong with a lot file: the line and the text.
struct LotError {
    unsigned line = 0;
    std::string text;
};

// Whether an id can be part of a file name: letters, digits, '.', '_' and
// '-', not starting with '.'.
bool valid_unit_id(std::string_view id);

// Reads a lot from its text; false with the first error.
bool read_lot(std::string_view text, Lot& lot, LotError& error);

// The column of that name, or -1.
int lot_column(const Lot& lot, std::string_view name);

}  // namespace khex
