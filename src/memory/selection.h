// Section selection: matches the section specs to the COFF file's sections and
// puts the section table into conversion order.
#pragma once

namespace khex {

void select_sections();
void match_sections();
void order_section_table();

}  // namespace khex
