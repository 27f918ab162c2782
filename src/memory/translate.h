// Translation start: called by the COFF reader once the section table is read.
#pragma once

namespace khex {

struct TranslateState {
    int coff_device;  // 1, 2, 7734, or 0 for unknown
};
extern TranslateState translate;

void reset_translate();
bool start_translation();

}  // namespace khex
