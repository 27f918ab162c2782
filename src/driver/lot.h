// A production lot (-lot): each unit of a lot file converted by a run of its
// own, with its own stamps and, by name=, its own file names; the files of
// every unit are held until the last unit is converted and then appear
// together, or none does. -lotlog appends what each unit was given and
// refuses an id issued before.
#pragma once
#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

#include "hexfile/lot.h"
#include "memory/values.h"
#include "map/reports.h"
#include "output/delta.h"
#include "platform/pending.h"

namespace khex {

struct Run;

// What the units of one lot share.
struct LotShared {
    Lot lot;
    std::string pattern;        // name=; empty: the run's own names (a lot of one unit)
    PendingFiles* pending = nullptr;  // every unit's files, committed once all are converted
    // each stamp's values so far (by its place among the stamps): value -> unit
    std::vector<std::unordered_map<std::string, const LotUnit*>> stamps_seen;
    std::unordered_map<std::string, const LotUnit*> names_taken;  // a file's name -> the unit that writes it
    struct UnitFiles {
        const LotUnit* unit;
        size_t first, end;      // its files in pending
    };
    std::vector<UnitFiles> written;
    struct UnitDelta {
        const LotUnit* unit;
        std::vector<DeltaLane> lanes;
    };
    std::vector<UnitDelta> deltas;  // -lotdelta: each unit's per-unit bytes by lane file
    std::vector<UnitReport> reports;  // the units as the common image's JSON report lists them
};

// The unit a run converts, and the lot it belongs to (none outside a lot).
struct LotState {
    StampUnit unit;
    LotShared* shared = nullptr;
    bool capture = false;       // catch the unit's per-unit bytes for the deltas; write no file
    bool common = false;        // the deltas' common image: per-unit slots hold fill
};

// The outline of a lot: the lot file read, the units chosen and checked
// against the log, every unit converted by a run of its own, the files
// committed and the log appended. Returns the exit status.
int convert_lot(Run& run, int argc, const char* const* argv);

// A file's name in a unit of a lot (name=): the pattern with %i the unit's
// id, %f the name, %n the name without its extension, %r the range and %k
// the file's place among the range's files (empty for other files), %% a
// percent sign. The name itself outside a lot or without name=.
std::string unit_file_name(const LotState& lot, const std::string& name, const std::string& range = "",
                           int file = -1);

// In a unit's run, once every name is settled: the names of the range
// files, the sets' files and the digests' files by name=, and the folders
// they name made (removed again by a lot that fails).
void name_unit_files(Run& run);
// The folders a unit's file names, made now.
void make_unit_folders(Run& run, const std::string& name);

// In a unit's run, once the stamps are read: a value another unit has, and
// its stamp does not say shared, is an ERROR naming both units.
void check_unit_stamps(Run& run);

// At the end of a unit's good run: its files handed to the lot, a name
// another unit writes too an ERROR.
void hand_over_unit_files(Run& run);

}  // namespace khex
