// The COFF loader: reads the headers, the symbols and the section data of the
// one COFF file and hands the data on piece by piece.
#pragma once
#include <cstdint>

namespace khex {

// Size of the loader's one data buffer; every piece handed on is at most this long.
constexpr int LOADBUFSIZE = 24576;

bool load_coff();
void report_load_failure();

}  // namespace khex
