#include "memory/specs.h"
#include "output/writers.h"

namespace khex {

TruncationWarnings truncation_warnings;

void reset_truncation_warnings()
{
    truncation_warnings = TruncationWarnings{};
}

bool first_warning_for_spec(const void*& last_warned)
{
    const SectionSpec* spec = specs.current_spec;
    if (!spec || spec == last_warned)
        return false;
    last_warned = spec;
    return true;
}

}  // namespace khex
