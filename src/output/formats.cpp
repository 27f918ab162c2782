#include "output/formats.h"

#include "driver/options.h"
#include "output/writers.h"

namespace khex {

// Indexed by ConvOptions::format. The four Motorola rows share one writer; the
// variant is the S-record type of their data records.
const OutputFormat output_formats[FORMAT_COUNT] = {
    // name                unit  ext     writer            run            binary widest rom  mem variant
    {"DEBUG",              1, ".d00", debug_writer,     nullptr,       false, 0,   0, 0, 0},
    {"Intel",              1, ".i00", intel_writer,     intel_run,     false, 224, 0, 0, 0},
    {"Motorola-S",         1, ".m00", motorola_writer,  motorola_run,  false, 222, 0, 0, 2},
    {"Motorola-S1",        1, ".m00", motorola_writer,  motorola_run,  false, 222, 0, 0, 1},
    {"Motorola-S2",        1, ".m00", motorola_writer,  motorola_run,  false, 222, 0, 0, 2},
    {"Motorola-S3",        1, ".m00", motorola_writer,  motorola_run,  false, 222, 0, 0, 3},
    {"ZQ-Tagged",          2, ".t00", zq_tagged_writer, nullptr,       false, 0,   2, 0, 0},
    {"Extended Tektronix", 1, ".x00", tektronix_writer, tektronix_run, false, 89,  0, 0, 0},
    {"ASCII-Hex",          1, ".a00", ascii_hex_writer, nullptr,       false, 0,   0, 0, 0},
    {"Generic",            1, ".s00", generic_writer,   nullptr,       false, 0,   0, 0, 0},
    {"Binary",             1, ".b00", binary_writer,    nullptr,       true,  0,   0, 1, 0},
};

const OutputFormat& selected_format()
{
    return output_formats[options.format];
}

}  // namespace khex
