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
// clashes gains what it found of inserted data in the way.
bool pre_pass(const Placer& writing, const CoffState& coff, const std::vector<int>& order, ValueState& work,
              std::vector<InsertClash>& clashes)
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
    Placer pass{state,  quiet,  writing.options, writing.settled, pass_coff, writing.ranges, writing.specs,
                work,   writing.inserts, table, buffer, no_output, no_announce, no_report, false};
    CoffReader reader{pass_coff, quiet, writing.options};
    auto place = [&pass](int section, uint8_t* data, int nbytes, uint32_t address) {
        write_target_memory(pass, section, data, nbytes, address);
    };
    auto insert = [&pass](int step) { place_insert_step(pass, step); };
    try {
        start_placement(pass);
        if (!load_sections(reader, order, place, insert))
            return false;
        finish_conversion(pass);
    } catch (const RunEnd&) {
        return false;
    }
    clashes = std::move(state.clashes);
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
        for (const std::vector<Value>* list : {&values.list, &values.digests})
            for (const Value& v : *list)
                missing |= v.ahead && !v.known;
        if (!missing)
            return;
        ValueState work = values;
        work.hasher.reset();  // a pre-pass hashes as it goes, on the run's thread
        start_value_pass(work);
        std::vector<InsertClash> clashes;
        if (!pre_pass(writing, coff, order, work, clashes)) {
            values.ahead_abandoned = true;
            return;
        }
        if (!keep_values_ahead(values, work))
            break;
    }
    internal_error(writing.diagnostics, "values wait for one another");
}

bool check_insert_clashes(const Placer& writing, const CoffState& coff, const std::vector<int>& order)
{
    ValueState work = writing.values;
    work.hasher.reset();
    start_value_pass(work);
    std::vector<InsertClash> clashes;
    if (!pre_pass(writing, coff, order, work, clashes))
        return true;  // the writing pass meets the same fatal error
    for (const InsertClash& clash : clashes)
        for (const Insert& in : writing.inserts.list)
            for (const InsertBlock& b : in.blocks)
                if (b.spec == clash.insert)
                    report(writing.diagnostics, SEVERITY_ERROR, "insert '%s': its data overlaps %s at 0x%08lx",
                           in.text.c_str(), clash.other.c_str(), hex(clash.address));
    return clashes.empty();
}

bool check_field_values(const ValueState& values, Diagnostics& d)
{
    bool ok = true;
    for (const Value& v : values.list) {
        const bool field = v.kind == VALUE_LENGTH || v.kind == VALUE_FIRST || v.kind == VALUE_LAST;
        if (!field || !v.known)
            continue;
        if (!v.has_data) {
            refuse(d, v, "no data in its span 0x%08lx..0x%08lx", hex(v.from), hex(v.to));
            ok = false;
        } else if (!value_fits(v, v.number)) {
            refuse(d, v, "value 0x%08lx does not fit in %lu byte%s", hex(v.number), hex(v.width),
                   v.width == 1 ? "" : "s");
            ok = false;
        }
    }
    return ok;
}

}  // namespace khex
