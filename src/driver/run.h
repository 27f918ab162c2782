// The run: one record of everything a conversion reads and writes, the
// composition root of the program. run() creates it; the driver's steps hand
// each lower module its own record and narrow views of the ones it reads.
#pragma once
#include "base/diagnostics.h"
#include "base/settings.h"
#include "base/settled.h"
#include "boot/table.h"
#include "cmdfile/lexer.h"
#include "cmdfile/parser.h"
#include "coff/loader.h"
#include "coff/sym.h"
#include "driver/input.h"
#include "driver/lot.h"
#include "driver/walk.h"
#include "map/reports.h"
#include "memory/inserts.h"
#include "memory/ranges.h"
#include "memory/specs.h"
#include "memory/values.h"
#include "output/delta.h"
#include "output/framework.h"
#include "output/sets.h"
#include "output/verify.h"
#include "placement/placer.h"
#include "platform/pending.h"

namespace khex {

struct Run {
    Diagnostics diagnostics;  // base/diagnostics: where messages go, and how many
    ConvOptions options;      // base/options, set by driver/options: as the command line and command files give them
    WalkState walk;           // driver/walk
    InputState input;         // driver/input
    LexerState lexer;         // cmdfile/lexer
    ParserState parser;       // cmdfile/grammar
    RangeState ranges;        // memory/ranges
    SpecState specs;          // memory/specs.cpp and memory/selection.cpp
    CoffState coff;           // coff/reader and coff/sections
    SymbolTable symbols;      // coff/sym
    Settled settled;          // base/settled, filled by placement/settle: what the run worked out
    ValueState values;        // memory/values and placement/value_pass: checksums and fields
    InsertState inserts;      // memory/inserts and placement/inserted: other images in the ROM
    BootTable boot_table;     // boot/table
    BootBuffer boot_buffer;   // boot/buffer.cpp
    PlacementState placement; // placement/datapath, fill and unplaced
    OutputState output;       // output/framework and the writers
    AlsoState also;           // output/sets: the sets of files -also adds
    VerifyState verify;       // output/verify: read-backs compared instead of files written
    ReportState reports;      // map/reports: the report files and the closed ranges' contents
    PendingFiles pending;     // platform/pending: files written whole or not at all
    LotState lot;             // driver/lot: the unit this run converts, in a lot
    DeltaCapture delta;       // output/delta: a unit's per-unit bytes, in a lot's deltas
};

// The whole conversion of a run whose console is set; returns the exit status.
// Everything the run opened is closed when it returns.
int run_conversion(Run& run, int argc, const char* const* argv);

}  // namespace khex
