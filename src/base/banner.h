// The program's own title and version texts, shown by the usage text and the
// map file's header.
#pragma once

namespace khex {

inline constexpr const char* BANNER_TITLE = "khex COFF to hex converter";
inline constexpr const char* PROGRAM_VERSION = KHEX_VERSION;  // from the build
inline constexpr const char* BANNER_VERSION = "Version " KHEX_VERSION;
inline constexpr const char* BANNER_SUBTITLE = "Kestrel DSP tool chain";
inline constexpr const char* BANNER_NOTICE = "ROM and boot-table images";

}  // namespace khex
