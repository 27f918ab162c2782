#include "harness.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "driver/run.h"
#include "hexfile/lot.h"
#include "hexfile/reader.h"
#include "hexfile/signature.h"
#include "coff_builder.h"
#include "khex.h"

namespace khexfuzz {

namespace fs = std::filesystem;

namespace {

void write_file(const char* name, const uint8_t* data, size_t size)
{
    std::ofstream(name, std::ios::binary).write(reinterpret_cast<const char*>(data), static_cast<long>(size));
}

// Leaves only the inputs of the next run behind.
void clear_scratch_directory()
{
    for (const fs::directory_entry& entry : fs::directory_iterator(fs::current_path()))
        fs::remove_all(entry.path());
}

// The option that selects a format, as a user types it: from the format table.
std::string format_option(int row)
{
    return std::string("-") + khex::output_formats[row].words[0].word;
}

const char* const WIDTHS[] = {"8", "16", "32"};
const char* const REVISIONS[] = {"-v7734:1", "-v7734:2", "-v7734:3"};

// Small ranges, so that image mode fills little.
const char RANGES[] =
    "ROMS { PAGE 0: low: origin = 0, length = 0x800\n"
    "               high: origin = 0x800, length = 0x800 fill = 0x5AA5\n"
    "       PAGE 1: other: origin = 0, length = 0x400 }\n";

}  // namespace

void enter_scratch_directory()
{
    fs::path dir = fs::temp_directory_path() / ("khex-fuzz-" + std::to_string(getpid()));
    fs::create_directories(dir);
    fs::current_path(dir);
}

namespace {

// A whole run on the executable after the four bytes of options; an ELF
// file's magic is the input's, whatever its bytes 4 to 7 are.
int run_executable(const uint8_t* data, size_t size, bool elf)
{
    if (size < (elf ? 8u : 4u))
        return 0;
    clear_scratch_directory();
    const uint8_t choice = data[0], widths = data[1], modes = data[2], more = data[3];
    if (elf) {
        std::vector<uint8_t> file{0x7F, 'E', 'L', 'F'};
        file.insert(file.end(), data + 8, data + size);
        write_file("in.out", file.data(), file.size());
    } else {
        write_file("in.out", data + 4, size - 4);
    }
    std::ofstream("ranges.cmd") << RANGES;

    std::vector<std::string> args{"khex", format_option(choice % khex::format_count), "-memwidth", WIDTHS[widths % 3],
                                  "-romwidth", WIDTHS[(widths / 3) % 3]};
    if (modes & 0x01)
        args.push_back("-image");
    if (modes & 0x03)
        args.push_back("ranges.cmd");
    if (modes & 0x04)
        args.push_back("-boot");
    if (modes & 0x08)
        args.insert(args.end(), {"-map", "out.map"});
    if (modes & 0x10)
        args.push_back("-zero");
    if (modes & 0x20)
        args.insert(args.end(), {"-order", modes & 0x40 ? "MS" : "LS"});
    if (modes & 0x80)
        args.insert(args.end(), {"-datawidth", "16"});
    args.push_back(REVISIONS[more % 3]);
    if (more & 0x04)
        args.insert(args.end(), {"-e", "_main"});
    if (more & 0x08)
        args.insert(args.end(), {"-reg_config", "0x10,_clock,5", "-delay", "3"});
    if (more & 0x10)
        args.push_back("-bootstrap=.text");
    if (more & 0x20)
        args.push_back("-romaddr");
    if (more & 0x40)
        args.insert(args.end(), {"-mapsvg", "out.svg", "-mapjson", "out.json", "-depfile", "out.d"});
    if (more & 0x80)
        args.insert(args.end(), {"-checksum", modes & 0x40 ? "high,crc32,holes=skip" : "low,sum16,at=0x400,from=0x10"});
    if ((more & 0x81) == 0x01)  // values ahead of their spans, at a symbol
        args.insert(args.end(), {"-checksum", "low,crc32,at=0", "-field", "low,length,at=4", "-field",
                                 modes & 0x40 ? "high,last,at=_main" : "low,value=0x55aa,at=8,size=2"});
    if (elf && (widths & 0x80))
        args.insert(args.end(), {"-addrunit", "16"});
    args.push_back("in.out");
    return khex::run(args, stdout, stderr);
}

}  // namespace

int run_coff_input(const uint8_t* data, size_t size)
{
    return run_executable(data, size, false);
}

int run_elf_input(const uint8_t* data, size_t size)
{
    return run_executable(data, size, true);
}

int run_command_file_input(const uint8_t* data, size_t size)
{
    for (size_t i = 0; i < size; ++i)
        if (data[i] == '/' || data[i] == '\\')
            return -1;
    clear_scratch_directory();
    write_file("fuzz.cmd", data, size);
    khex::Run run;
    run.diagnostics.console = khex::Console{stdout, stderr};
    int status;
    try {
        khex::add_input(run, "fuzz.cmd");
        run.input.coff_name = "app.out";  // default output names come from it
        const khex::OutputFormat& format = khex::selected_format(run.options);
        khex::resolve_memory(run.ranges, run.diagnostics, run.options, khex::format_rules(format), run.input.coff_name);
        khex::read_value_requests(run.values, run.diagnostics, run.options, run.ranges,
                                  format.index != khex::FORMAT_BINARY, run.lot.unit);
        status = khex::errors_reported(run.diagnostics, run.options.werror) ? 1 : 0;
    } catch (const khex::RunEnd& end) {
        status = end.status;
    }
    khex::close_inputs(run.input);
    khex::discard_pending_files(run.pending);
    khex::release_parser_stacks(run.parser);
    return status;
}

int run_insert_input(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    clear_scratch_directory();
    static const coffgen::Bytes demo = coffgen::demo_program().build();
    write_file("demo.out", demo.data(), demo.size());
    write_file("in.hex", data + 1, size - 1);
    std::ofstream("ranges.cmd") << RANGES;
    const uint8_t choice = data[0];
    static const char* const FORMATS[] = {"", ",format=intel", ",format=motorola", ",format=tektronix",
                                          ",format=binary,at=0x200"};
    std::vector<std::string> args{"khex", "-q", "-i"};
    if (choice & 0x40)  // the file as a device's read-back instead
        args.insert(args.end(), {"-verify", std::string("demo.i00=in.hex") + (choice & 0x80 ? ":output" : "")});
    else
        args.insert(args.end(), {"-insert", std::string("low,in.hex") + FORMATS[choice % 5]});
    if (choice & 0x08)
        args.push_back("-image");
    if (choice & 0x10)
        args.insert(args.end(), {"-checksum", "low,crc32,at=0"});
    if (choice & 0x20)
        args.insert(args.end(), {"-map", "out.map", "-mapjson", "out.json"});
    args.insert(args.end(), {"ranges.cmd", "demo.out"});
    return khex::run(args, stdout, stderr);
}

int run_hex_input(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    if (data[0] >= 0xF0) {
        // the readers of a signer's files: a signature in each form, a
        // signed digest
        std::vector<uint8_t> out;
        khex::SignatureError error;
        const int form = data[0] & 7;
        const bool ok = form < 4 ? khex::decode_signature(data + 1, size - 1, form, 64, out, error)
                                 : khex::decode_signed_digest(data + 1, size - 1, 32, out, error);
        if (ok && out.size() > (form < 4 ? 64u : 32u))
            __builtin_trap();  // nothing accepted is longer than its slot
        return ok ? 0 : 1;
    }
    if (data[0] >= 0xE0) {
        // the lot reader: what it accepts is a table of valid, distinct ids
        khex::Lot lot;
        khex::LotError error;
        if (!khex::read_lot(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1), lot, error))
            return 1;
        std::set<std::string> ids;
        for (const khex::LotUnit& u : lot.units)
            if (u.values.size() != lot.columns.size() || !khex::valid_unit_id(u.id) || !ids.insert(u.id).second)
                __builtin_trap();
        return 0;
    }
    clear_scratch_directory();
    write_file("in.hex", data + 1, size - 1);
    FILE* null = std::fopen("/dev/null", "w");
    khex::Diagnostics d;
    d.console = khex::Console{null, null};
    khex::HexFile hex;
    hex.name = "in.hex";
    hex.format = static_cast<int>(data[0] % 5) - 1;  // HEX_DETECT and each format
    const bool ok = khex::open_hex_file(hex, d);
    std::vector<uint8_t> bytes;
    for (const khex::HexExtent& e : hex.extents) {
        bytes.resize(e.length);
        const uint32_t half = e.length / 2;
        if (!khex::read_hex_bytes(hex, d, e, 0, bytes.data(), half) ||
            !khex::read_hex_bytes(hex, d, e, half, bytes.data() + half, e.length - half))
            __builtin_trap();  // a file the reader accepted reads back whole
    }
    khex::close_hex_file(hex);
    std::fclose(null);
    return ok ? 0 : 1;
}

}  // namespace khexfuzz
