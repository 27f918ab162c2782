#include "output/formats.h"

#include "output/writers.h"

namespace khex {

// Indexed by ConvOptions::format. The four Motorola rows share one writer, which
// picks its record type from the format index.
const OutputFormat output_formats[FORMAT_COUNT] = {
    {"DEBUG", 1, ".d00", debug_writer, nullptr},
    {"Intel", 1, ".i00", intel_writer, intel_run},
    {"Motorola-S", 1, ".m00", motorola_writer, motorola_run},
    {"Motorola-S1", 1, ".m00", motorola_writer, motorola_run},
    {"Motorola-S2", 1, ".m00", motorola_writer, motorola_run},
    {"Motorola-S3", 1, ".m00", motorola_writer, motorola_run},
    {"ZQ-Tagged", 2, ".t00", zq_tagged_writer, nullptr},
    {"Extended Tektronix", 1, ".x00", tektronix_writer, tektronix_run},
    {"ASCII-Hex", 1, ".a00", ascii_hex_writer, nullptr},
    {"Generic", 1, ".s00", generic_writer, nullptr},
    {"Binary", 1, ".b00", binary_writer, nullptr},
};

}  // namespace khex
