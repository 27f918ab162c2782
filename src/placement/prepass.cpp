#include "placement/prepass.h"

#include "memory/value_places.h"
#include "placement/value_pass.h"

namespace khex {

namespace {

unsigned long hex(uint64_t value)
{
    return static_cast<unsigned long>(value);
}

// One pre-pass over a copy of the values; false when it met a fatal error.
bool pre_pass(const Placer& writing, const CoffState& coff, const std::vector<int>& order, ValueState& work)
{
    Diagnostics quiet = writing.diagnostics;
    quiet.muted = true;
    CoffState pass_coff = coff;
    PlacementState state;
    BootTable table;
    BootBuffer buffer;
    OutputState no_output;
    boot_table_start(table, writing.settled);
    auto no_announce = [](const SectionSpec&) {};
    auto no_report = [](const RomRange&) {};
    Placer pass{state,    quiet,  writing.options, writing.settled, pass_coff, writing.ranges, writing.specs,
                work,     table,  buffer,          no_output,       no_announce, no_report,    false};
    CoffReader reader{pass_coff, quiet, writing.options};
    auto place = [&pass](int section, uint8_t* data, int nbytes, uint32_t address) {
        write_target_memory(pass, section, data, nbytes, address);
    };
    try {
        start_placement(pass);
        if (!load_sections(reader, order, place))
            return false;
        finish_conversion(pass);
    } catch (const RunEnd&) {
        return false;
    }
    return true;
}

}  // namespace

void compute_values_ahead(const Placer& writing, const CoffState& coff, const std::vector<int>& order)
{
    ValueState& values = writing.values;
    // each pass works out at least one more value, unless values wait for
    // one another, which resolving them refused
    for (size_t passes = 0; passes <= values.list.size(); ++passes) {
        bool missing = false;
        for (const Value& v : values.list)
            missing |= v.ahead && !v.known;
        if (!missing)
            return;
        ValueState work = values;
        start_value_pass(work);
        if (!pre_pass(writing, coff, order, work)) {
            values.ahead_abandoned = true;
            return;
        }
        if (!keep_values_ahead(values, work))
            break;
    }
    internal_error(writing.diagnostics, "values wait for one another");
}

bool check_field_values(const ValueState& values, Diagnostics& d)
{
    bool ok = true;
    for (const Value& v : values.list) {
        if (v.kind == VALUE_CHECKSUM || v.kind == VALUE_CONSTANT || !v.known)
            continue;
        if (!v.has_data) {
            refuse(d, v, "no data in its span 0x%08lx..0x%08lx", hex(v.from), hex(v.to));
            ok = false;
        } else if (!value_fits(v, v.value)) {
            refuse(d, v, "value 0x%08lx does not fit in %lu byte%s", hex(v.value), hex(v.width), v.width == 1 ? "" : "s");
            ok = false;
        }
    }
    return ok;
}

}  // namespace khex
