#include "output/formats.h"

#include <iterator>


namespace khex {

// Each format's writer lives in a file of its own; the rows name these. A
// format whose records do not count their bytes has no run writer of its
// own: the framework writes its runs one operation at a time.
void debug_writer(WriterContext& w, int op, OutputStream& stream, const uint8_t* data, int nbytes);
void intel_writer(WriterContext& w, int op, OutputStream& stream, const uint8_t* data, int nbytes);
void intel_run(WriterContext& w, OutputStream& stream, const uint8_t* data, int ops, int op_bytes, int stride,
               uint32_t address, uint32_t step, int period);
void motorola_writer(WriterContext& w, int op, OutputStream& stream, const uint8_t* data, int nbytes);
void motorola_run(WriterContext& w, OutputStream& stream, const uint8_t* data, int ops, int op_bytes, int stride,
                  uint32_t address, uint32_t step, int period);
void zq_tagged_writer(WriterContext& w, int op, OutputStream& stream, const uint8_t* data, int nbytes);
void tektronix_writer(WriterContext& w, int op, OutputStream& stream, const uint8_t* data, int nbytes);
void tektronix_run(WriterContext& w, OutputStream& stream, const uint8_t* data, int ops, int op_bytes, int stride,
                   uint32_t address, uint32_t step, int period);
void ascii_hex_writer(WriterContext& w, int op, OutputStream& stream, const uint8_t* data, int nbytes);
void generic_writer(WriterContext& w, int op, OutputStream& stream, const uint8_t* data, int nbytes);
void binary_writer(WriterContext& w, int op, OutputStream& stream, const uint8_t* data, int nbytes);
void binary_run(WriterContext& w, OutputStream& stream, const uint8_t* data, int ops, int op_bytes, int stride,
                uint32_t address, uint32_t step, int period);
void verilog_writer(WriterContext& w, int op, OutputStream& stream, const uint8_t* data, int nbytes);
void verilog_run(WriterContext& w, OutputStream& stream, const uint8_t* data, int ops, int op_bytes, int stride,
                 uint32_t address, uint32_t step, int period);
void mif_writer(WriterContext& w, int op, OutputStream& stream, const uint8_t* data, int nbytes);
void coe_writer(WriterContext& w, int op, OutputStream& stream, const uint8_t* data, int nbytes);
void c_array_writer(WriterContext& w, int op, OutputStream& stream, const uint8_t* data, int nbytes);
void c_array_run(WriterContext& w, OutputStream& stream, const uint8_t* data, int ops, int op_bytes, int stride,
                 uint32_t address, uint32_t step, int period);

// The four Motorola rows share one writer; the variant is the S-record type of
// their data records. -b also sets both widths to a byte; --b and --w set the
// ROM width unless -romwidth gave one. The memory files for simulators and
// the C array address the ROM device's own words and take ROM words of at
// most 32 bits.
constexpr OutputFormat output_formats[] = {
    // index               name                  words                                        unit ext
    //    writer            run            binary widest rom mem variant device longest readback
    {FORMAT_DEBUG,       "DEBUG",              {{"-d", 0, false, false}, {}},               1, ".d00",
        debug_writer,     nullptr,       false, 0,   0, 0, 0, false, 0, HEX_DETECT},
    {FORMAT_INTEL,       "Intel",              {{"i", 0, false, false}, {}},                1, ".i00",
        intel_writer,     intel_run,     false, 224, 0, 0, 0, false, 255, HEX_INTEL},
    {FORMAT_MOTOROLA,    "Motorola-S",         {{"m", 0, false, false}, {}},                1, ".m00",
        motorola_writer,  motorola_run,  false, 222, 0, 0, 2, false, 251, HEX_MOTOROLA},
    {FORMAT_MOTOROLA_S1, "Motorola-S1",        {{"m1", 0, false, false}, {}},               1, ".m00",
        motorola_writer,  motorola_run,  false, 222, 0, 0, 1, false, 252, HEX_MOTOROLA},
    {FORMAT_MOTOROLA_S2, "Motorola-S2",        {{"m2", 0, false, false}, {}},               1, ".m00",
        motorola_writer,  motorola_run,  false, 222, 0, 0, 2, false, 251, HEX_MOTOROLA},
    {FORMAT_MOTOROLA_S3, "Motorola-S3",        {{"m3", 0, false, false}, {}},               1, ".m00",
        motorola_writer,  motorola_run,  false, 222, 0, 0, 3, false, 250, HEX_MOTOROLA},
    {FORMAT_ZQ_TAGGED,   "ZQ-Tagged",          {{"t", 0, false, false}, {}},                2, ".t00",
        zq_tagged_writer, nullptr,       false, 0,   2, 0, 0, false, 0, HEX_DETECT},
    {FORMAT_TEKTRONIX,   "Extended Tektronix", {{"x", 0, false, false}, {}},                1, ".x00",
        tektronix_writer, tektronix_run, false, 89,  0, 0, 0, false, 120, HEX_TEKTRONIX},
    {FORMAT_ASCII_HEX,   "ASCII-Hex",          {{"a", 0, false, false}, {}},                1, ".a00",
        ascii_hex_writer, nullptr,       false, 0,   0, 0, 0, false, 0, HEX_DETECT},
    {FORMAT_GENERIC,     "Generic",            {{"-b", 1, false, false}, {"-w", 2, false, false}}, 1, ".s00",
        generic_writer,   nullptr,       false, 0,   0, 0, 0, false, 0, HEX_DETECT},
    {FORMAT_BINARY,      "Binary",             {{"b", 1, true, false}, {}},                 1, ".b00",
        binary_writer,    binary_run,    true,  0,   0, 1, 0, false, 0, HEX_BINARY},
    {FORMAT_VERILOG,     "Verilog memory",     {{"vmem", 0, false, true}, {}},              1, ".v00",
        verilog_writer,   verilog_run,   false, 4,   0, 0, 0, true,  0, HEX_DETECT},
    {FORMAT_MIF,         "MIF",                {{"mif", 0, false, true}, {}},               1, ".f00",
        mif_writer,       nullptr,       false, 4,   0, 0, 0, true,  0, HEX_DETECT},
    {FORMAT_COE,         "COE",                {{"coe", 0, false, true}, {}},               1, ".e00",
        coe_writer,       nullptr,       false, 4,   0, 0, 0, true,  0, HEX_DETECT},
    {FORMAT_C_ARRAY,     "C array",            {{"carray", 0, false, true}, {}},            1, ".c00",
        c_array_writer,   c_array_run,   false, 4,   0, 0, 0, true,  0, HEX_DETECT},
};

const int format_count = static_cast<int>(std::size(output_formats));

// Every row stands at its own number.
constexpr bool rows_in_order()
{
    for (size_t i = 0; i < std::size(output_formats); ++i)
        if (output_formats[i].index != static_cast<int>(i))
            return false;
    return true;
}
static_assert(rows_in_order(), "a row of output_formats is not at its index");

FormatRules format_rules(const OutputFormat& format)
{
    return FormatRules{format.unit, format.widest_operation, format.name, std::string(format.extension, 2)};
}

void check_record_length(const ConvOptions& options, const OutputFormat& format, const RangeState& ranges,
                         Diagnostics& d)
{
    if (!options.reclen_given)
        return;
    const uint32_t n = options.reclen;
    if (format.longest_record == 0) {
        report(d, SEVERITY_ERROR, "-reclen applies to the Intel, Motorola and Extended Tektronix formats, not to %s",
               format.name);
        return;
    }
    if (n == 0 || n > static_cast<uint32_t>(format.longest_record)) {
        report(d, SEVERITY_ERROR, "-reclen %lu: %s records carry 1 to %d data bytes", static_cast<unsigned long>(n),
               format.name, format.longest_record);
        return;
    }
    for (const RomRange* r : ranges.rom_list)
        if (n % static_cast<uint32_t>(r->romwidth) != 0)
            report(d, SEVERITY_ERROR, "-reclen %lu is not a whole number of the %d-bit ROM words of range '%s'",
                   static_cast<unsigned long>(n), bits(r->romwidth), r->name.c_str());
}

std::string readable_format_names()
{
    std::string names;
    for (const OutputFormat& f : output_formats)  // the array is complete here
        if (f.readback != HEX_DETECT)
            names += (names.empty() ? "" : ", ") + std::string(f.name);
    return names;
}

const OutputFormat& selected_format(const ConvOptions& options)
{
    return output_formats[options.format];
}

}  // namespace khex
