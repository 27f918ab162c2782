#include "hexfile/lot.h"

#include <unordered_map>

namespace khex {

namespace {

// A cursor over the text that counts lines as it passes line ends.
struct Cursor {
    std::string_view text;
    size_t at = 0;
    unsigned line = 1;

    bool done() const { return at >= text.size(); }
    char peek() const { return text[at]; }
};

bool fail(LotError& error, unsigned line, std::string text)
{
    error = LotError{line, std::move(text)};
    return false;
}

// One line end: LF or CR LF.
bool take_line_end(Cursor& c)
{
    if (!c.done() && c.peek() == '\n') {
        ++c.at;
        ++c.line;
        return true;
    }
    if (c.at + 1 < c.text.size() && c.peek() == '\r' && c.text[c.at + 1] == '\n') {
        c.at += 2;
        ++c.line;
        return true;
    }
    return false;
}

// One field, quoted or not; the cursor stops at the comma, line end or end
// of text after it.
bool read_field(Cursor& c, std::string& field, LotError& error)
{
    field.clear();
    if (!c.done() && c.peek() == '"') {
        const unsigned opened = c.line;
        ++c.at;
        for (;;) {
            if (c.done())
                return fail(error, opened, "a quoted value that the file does not close");
            const char ch = c.peek();
            if (ch == '"') {
                if (c.at + 1 < c.text.size() && c.text[c.at + 1] == '"') {
                    field += '"';
                    c.at += 2;
                    continue;
                }
                ++c.at;
                break;
            }
            if (ch == '\0')
                return fail(error, c.line, "a NUL byte");
            if (ch == '\n')
                ++c.line;
            field += ch;
            ++c.at;
            if (field.size() > MAX_LOT_FIELD)
                return fail(error, opened, "a value of more than " + std::to_string(MAX_LOT_FIELD) + " bytes");
        }
        if (!c.done() && c.peek() != ',' && c.peek() != '\n' && c.peek() != '\r')
            return fail(error, c.line, "text after a quoted value's closing quote");
        return true;
    }
    while (!c.done()) {
        const char ch = c.peek();
        if (ch == ',' || ch == '\n' || ch == '\r')
            break;
        if (ch == '"')
            return fail(error, c.line, "a quote inside an unquoted value: quote the whole value");
        if (ch == '\0')
            return fail(error, c.line, "a NUL byte");
        field += ch;
        ++c.at;
        if (field.size() > MAX_LOT_FIELD)
            return fail(error, c.line, "a value of more than " + std::to_string(MAX_LOT_FIELD) + " bytes");
    }
    return true;
}

// One record: its fields up to the line end (or the end of the text).
bool read_record(Cursor& c, std::vector<std::string>& fields, LotError& error)
{
    fields.clear();
    for (;;) {
        std::string field;
        if (!read_field(c, field, error))
            return false;
        fields.push_back(std::move(field));
        if (c.done() || take_line_end(c))
            return true;
        if (c.peek() == ',') {
            ++c.at;
            continue;
        }
        return fail(error, c.line, "a carriage return without a line feed");
    }
}

}  // namespace

bool valid_unit_id(std::string_view id)
{
    if (id.empty() || id[0] == '.')
        return false;
    for (char ch : id) {
        const bool ok = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') ||
                        ch == '.' || ch == '_' || ch == '-';
        if (!ok)
            return false;
    }
    return true;
}

int lot_column(const Lot& lot, std::string_view name)
{
    for (size_t i = 0; i < lot.columns.size(); ++i)
        if (lot.columns[i] == name)
            return static_cast<int>(i);
    return -1;
}

bool read_lot(std::string_view text, Lot& lot, LotError& error)
{
    lot.columns.clear();
    lot.units.clear();
    Cursor c{text};
    if (text.substr(0, 3) == "\xEF\xBB\xBF")  // a spreadsheet's byte order mark
        c.at = 3;
    if (c.done())
        return fail(error, 1, "no header row: the columns' names, one of them id");
    if (!read_record(c, lot.columns, error))
        return false;
    std::unordered_map<std::string, size_t> seen;
    for (size_t i = 0; i < lot.columns.size(); ++i) {
        if (lot.columns[i].empty())
            return fail(error, 1, "column " + std::to_string(i + 1) + " has no name");
        if (!seen.emplace(lot.columns[i], i).second)
            return fail(error, 1, "column '" + lot.columns[i] + "' is named twice");
    }
    const int id = lot_column(lot, "id");
    if (id < 0)
        return fail(error, 1, "no column 'id': each unit needs its id");
    lot.id_column = static_cast<size_t>(id);

    std::unordered_map<std::string, unsigned> ids;
    while (!c.done()) {
        LotUnit unit;
        unit.line = c.line;
        if (take_line_end(c))
            return fail(error, unit.line, "an empty row");
        if (!read_record(c, unit.values, error))
            return false;
        if (unit.values.size() != lot.columns.size())
            return fail(error, unit.line,
                        std::to_string(unit.values.size()) + " values where the header names " +
                            std::to_string(lot.columns.size()) + " columns");
        unit.id = unit.values[lot.id_column];
        if (!valid_unit_id(unit.id))
            return fail(error, unit.line,
                        "id '" + unit.id + "': letters, digits, '.', '_' and '-', not starting with '.'");
        if (auto [it, fresh] = ids.emplace(unit.id, unit.line); !fresh)
            return fail(error, unit.line, "id '" + unit.id + "' repeats line " + std::to_string(it->second));
        if (lot.units.size() == MAX_LOT_UNITS)
            return fail(error, unit.line, "more than " + std::to_string(MAX_LOT_UNITS) + " units");
        lot.units.push_back(std::move(unit));
    }
    if (lot.units.empty())
        return fail(error, c.line, "no units: a row for each after the header");
    return true;
}

}  // namespace khex
