#include "driver/options.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <span>

#include "base/text.h"
#include "driver/run.h"
#include "driver/usage.h"
#include "platform/platform.h"
#include "output/formats.h"

namespace khex {

namespace {

void opt_quiet(Run& run, const char*, bool) { run.options.quiet = true; }
void opt_image(Run& run, const char*, bool) { run.options.image = true; }
void opt_zero(Run& run, const char*, bool) { run.options.zero = true; }
void opt_boot(Run& run, const char*, bool) { run.options.boot_all = true; }
void opt_symtrace(Run& run, const char*, bool) { ++run.options.symtrace; }
void opt_verbose(Run& run, const char*, bool) { ++run.options.verbose; }
void opt_help(Run& run, const char*, bool) { print_usage(run, true); }
void opt_long_help(Run& run, const char*, bool) { print_help(run); }
void opt_version(Run& run, const char*, bool) { print_version(run); }
void opt_werror(Run& run, const char*, bool) { run.options.werror = true; }
void opt_romaddr(Run& run, const char*, bool) { run.options.romaddr = true; }
void opt_sections(Run& run, const char*, bool) { run.options.list_sections = true; }
void opt_symbols(Run& run, const char*, bool) { run.options.list_sections = run.options.list_symbols = true; }

// A word of the format table: the format, and the widths some words set too.
void select_format(Run& run, int format, const FormatWord& word)
{
    ConvOptions& o = run.options;
    o.format = format;
    if (word.romwidth != 0 && (word.forced || !o.romwidth_given))
        o.romwidth = word.romwidth;
    if (word.forced)
        o.memwidth = output_formats[format].memwidth;
}

void opt_entry(Run& run, const char* typed, bool from_file)
{
    ConvOptions& o = run.options;
    OptionValue v = take_value(run, from_file);
    if (v.token == TOK_NUMBER) {
        o.entry_address = v.number;
        o.has_entry_symbol = false;
        o.entry_symbol.clear();
    } else if (v.token == TOK_NAME) {
        o.has_entry_symbol = true;
        o.entry_symbol = v.text;
        o.entry_address = NOT_GIVEN;
    } else {
        report(run.diagnostics, SEVERITY_WARNING, "invalid value for -%s option (ignored)", typed);
    }
}

void opt_output(Run& run, const char*, bool from_file)
{
    if (const char* word = take_name(run, from_file, "o"))
        run.options.output_names.emplace_back(word);
    else if (!run.walk.value_refused)
        report(run.diagnostics, SEVERITY_WARNING, "no name on -o (ignored)");
}

// Whether a request ends in a bare at, from or to: its number went to the
// next argument, as "at 0x100" with a blank.
bool bare_address_key(const std::string& value)
{
    const size_t comma = value.rfind(',');
    const std::string last = folded(value.substr(comma == std::string::npos ? 0 : comma + 1));
    return comma != std::string::npos && (last == "at" || last == "from" || last == "to");
}

// -checksum range,algorithm[,field=value...] and -field range,kind,at=...:
// read once the ranges are resolved. A forgotten value that took the next
// argument is pointed out.
void take_request(Run& run, const char* option, bool from_file, std::vector<std::string>& requests)
{
    // the values of these hold file names
    const bool names = std::strcmp(option, "insert") == 0 || std::strcmp(option, "digest") == 0 ||
                       std::strcmp(option, "signature") == 0 || std::strcmp(option, "stamp") == 0;
    const char* word = take_list(run, from_file, option, names);
    if (!word) {
        if (!run.walk.value_refused)
            report(run.diagnostics, SEVERITY_ERROR, "no value on -%s", option);
        return;
    }
    const std::string value = word;
    if (bare_address_key(value)) {
        const char* next = take_word(run, from_file);
        const std::string number = next ? next : "";
        const std::string key = value.substr(value.rfind(',') + 1);
        report(run.diagnostics, SEVERITY_ERROR, "%s '%s %s': write %s=%s, with no blank", option, value.c_str(),
               number.c_str(), key.c_str(), number.empty() ? "ADDRESS" : number.c_str());
        return;
    }
    if (value.find(',') == std::string::npos && file_kind(value) != FileKind::ABSENT) {
        report(run.diagnostics, SEVERITY_ERROR, "%s '%s': '%s' is a file: is the value of -%s missing?", option,
               value.c_str(), value.c_str(), option);
        return;
    }
    requests.push_back(value);
}

void opt_checksum(Run& run, const char*, bool from_file)
{
    take_request(run, "checksum", from_file, run.options.checksums);
}

void opt_field(Run& run, const char*, bool from_file)
{
    take_request(run, "field", from_file, run.options.fields);
}

// -digest range,out=file[,...] and -signature range,at=address,size=n[,...]:
// what a signer signs, and the signature it gives back, in place.
void opt_digest(Run& run, const char*, bool from_file)
{
    take_request(run, "digest", from_file, run.options.digests);
}

void opt_signature(Run& run, const char*, bool from_file)
{
    take_request(run, "signature", from_file, run.options.signatures);
}

// -stamp range,at=address,size=n,(value=v | text=t)[,...]: a unit's own data.
void opt_stamp(Run& run, const char*, bool from_file)
{
    take_request(run, "stamp", from_file, run.options.stamps);
}

// -outputs file[,file...]: the files a build expects; compared at the end.
void opt_outputs(Run& run, const char*, bool from_file)
{
    const char* word = take_list(run, from_file, "outputs", true);
    if (!word) {
        if (!run.walk.value_refused)
            report(run.diagnostics, SEVERITY_ERROR, "no value on -outputs");
        return;
    }
    const std::string names = word;
    for (size_t start = 0; start <= names.size();) {
        size_t comma = names.find(',', start);
        if (comma == std::string::npos)
            comma = names.size();
        if (comma > start)
            run.options.outputs.push_back(names.substr(start, comma - start));
        start = comma + 1;
    }
}

// -verify OUTPUT=READBACK[:SUFFIX...]: read once the ranges are resolved.
void opt_verify(Run& run, const char*, bool from_file)
{
    if (const char* word = take_list(run, from_file, "verify", true))
        run.options.verifies.emplace_back(word);
    else if (!run.walk.value_refused)
        report(run.diagnostics, SEVERITY_ERROR, "no value on -verify");
}

// -also FORMAT[,RANGE][,romwidth=BITS][,names=PATTERN]: read once the
// ranges are resolved.
void opt_also(Run& run, const char*, bool from_file)
{
    if (const char* word = take_list(run, from_file, "also", true))
        run.options.also.emplace_back(word);
    else if (!run.walk.value_refused)
        report(run.diagnostics, SEVERITY_ERROR, "no value on -also");
}

void opt_verify_limit(Run& run, const char* typed, bool from_file)
{
    uint32_t value;
    if (take_number(run, typed, from_file, value))
        run.options.verify_limit = value;
}

// -addrunit 8|16: whether an ELF file's addresses count bytes or 16-bit words.
void opt_addrunit(Run& run, const char* typed, bool from_file)
{
    uint32_t value;
    if (!take_number(run, typed, from_file, value))
        return;
    if (value == 8 || value == 16)
        run.options.addrunit = static_cast<int>(value);
    else
        report(run.diagnostics, SEVERITY_ERROR, "-addrunit must be 8 or 16, not %lu",
               static_cast<unsigned long>(value));
}

// -lot file[,first=id][,count=n][,name=pattern]: a unit of the lot a run;
// -lotlog file: the units issued.
void opt_lot(Run& run, const char*, bool from_file)
{
    if (const char* value = take_list(run, from_file, "lot", true))
        run.options.lot = value;
    else if (!run.walk.value_refused)
        report(run.diagnostics, SEVERITY_ERROR, "no value on -lot");
}

// -lotdelta file[,format=hex|list]: each unit's per-unit bytes for a station.
void opt_lotdelta(Run& run, const char*, bool from_file)
{
    if (const char* value = take_list(run, from_file, "lotdelta", true))
        run.options.lotdelta = value;
    else if (!run.walk.value_refused)
        report(run.diagnostics, SEVERITY_ERROR, "no value on -lotdelta");
}

void opt_lotlog(Run& run, const char*, bool from_file)
{
    if (const char* name = take_name(run, from_file, "lotlog"))
        run.options.lotlog = name;
    else if (!run.walk.value_refused)
        report(run.diagnostics, SEVERITY_ERROR, "no name on -lotlog");
}

// -insert range,file[,field=value...]: another image in the range.
void opt_insert(Run& run, const char*, bool from_file)
{
    take_request(run, "insert", from_file, run.options.inserts);
}

// -reclen n: checked against the format and the ranges once they are resolved.
void opt_reclen(Run& run, const char* typed, bool from_file)
{
    uint32_t value;
    if (!take_number(run, typed, from_file, value))
        return;
    run.options.reclen = value;
    run.options.reclen_given = true;
}

void opt_fill(Run& run, const char* typed, bool from_file)
{
    uint32_t value;
    if (!take_number(run, typed, from_file, value))
        return;
    if (value & 0xFFFF0000) {
        value &= 0xFFFF;
        report(run.diagnostics, SEVERITY_WARNING, "fill value truncated to %d bytes: %0*lx", 2, 4,
               static_cast<unsigned long>(value));
    }
    run.options.fill = value;
}

// Widths: a width of 0 bits is as illegal as one that is not a multiple of 8.
bool legal_width(uint32_t bits)
{
    return bits != 0 && bits % 8 == 0;
}

void opt_romwidth(Run& run, const char* typed, bool from_file)
{
    run.options.romwidth_given = true;
    run.options.romwidth = 1;
    uint32_t value;
    if (!take_number(run, typed, from_file, value))
        return;
    if (legal_width(value))
        run.options.romwidth = static_cast<int>(value / 8);
    else
        report(run.diagnostics, SEVERITY_WARNING, "illegal romwidth of %ld, using romwidth=8", static_cast<long>(value));
}

void opt_memwidth(Run& run, const char* typed, bool from_file)
{
    run.options.memwidth = 2;
    uint32_t value;
    if (!take_number(run, typed, from_file, value))
        return;
    if (value > 16)
        report(run.diagnostics, SEVERITY_WARNING, "memwidth(%ld) is greater than target width(%d)", static_cast<long>(value), 16);
    if (legal_width(value))
        run.options.memwidth = static_cast<int>(value / 8);
    else
        report(run.diagnostics, SEVERITY_WARNING, "illegal memwidth of %ld, using memwidth=%d", static_cast<long>(value), 16);
}

void opt_datawidth(Run& run, const char* typed, bool from_file)
{
    run.options.datawidth = 1;
    uint32_t value;
    if (!take_number(run, typed, from_file, value))
        return;
    if (legal_width(value))
        run.options.datawidth = static_cast<int>(value / 8);
    else
        report(run.diagnostics, SEVERITY_WARNING, "illegal datawidth of %ld, using datawidth=%d", static_cast<long>(value), 8);
}

void opt_olength(Run& run, const char* typed, bool from_file)
{
    uint32_t value;
    if (!take_number(run, typed, from_file, value))
        return;
    run.options.olength = static_cast<int32_t>(value);
    if (run.options.olength < 1) {
        run.options.olength = 1;
        report(run.diagnostics, SEVERITY_WARNING, "illegal value %ld for -olength, using 1", static_cast<long>(value));
    }
}

void opt_order(Run& run, const char*, bool from_file)
{
    const char* word = take_word(run, from_file);
    char first = word ? word[0] : '\0';
    if (first == 'M' || first == 'm')
        run.options.order = ORDER_MS;
    else if (first == 'L' || first == 'l')
        run.options.order = ORDER_LS;
    else
        report(run.diagnostics, SEVERITY_ERROR, "invalid -order option: specify MS or LS");
}

void opt_bootorg(Run& run, const char*, bool from_file)
{
    OptionValue v = take_value(run, from_file);
    if (v.token == TOK_NUMBER)
        run.options.bootorg = v.number;
    else if (v.token == TOK_NAME)
        report(run.diagnostics, SEVERITY_WARNING, "illegal -bootorg value (ignored)");
    else
        report(run.diagnostics, SEVERITY_WARNING, "illegal value on -bootorg (ignored)");
}

void opt_bootpage(Run& run, const char* typed, bool from_file)
{
    uint32_t value;
    if (take_number(run, typed, from_file, value))
        run.options.bootpage = static_cast<int32_t>(value);
}

void set_boot_mode(Run& run, int memwidth, int romwidth, int port, int alignment, int mode)
{
    run.options.memwidth = memwidth;
    run.options.romwidth = romwidth;
    run.options.boot = BootParams{mode, port, alignment};
}

void opt_wren16(Run& run, const char*, bool) { set_boot_mode(run, 2, 2, BOOT_PORT_PARALLEL, 2, BOOT_MODE_WREN16); }
void opt_kite16(Run& run, const char*, bool) { set_boot_mode(run, 2, 2, BOOT_PORT_SERIAL, 2, BOOT_MODE_KITE16); }
void opt_wren32(Run& run, const char*, bool) { set_boot_mode(run, 2, 4, BOOT_PORT_PARALLEL, 4, BOOT_MODE_WREN32); }
void opt_boot8(Run& run, const char*, bool) { set_boot_mode(run, 1, 1, BOOT_PORT_SERIAL, 2, BOOT_MODE_8BIT); }

// -v7734 or -v7734:n with the revision n of 1, 2 or 3.
void opt_device(Run& run, const char* typed, bool)
{
    run.options.device = 7734;
    run.options.device_given = true;
    run.options.revision = 2;
    if (typed[5] != ':' || typed[6] == '\0')
        return;
    const char* text = typed + 6;
    unsigned long revision = 0;
    for (const char* p = text; std::isdigit(static_cast<unsigned char>(*p)) && revision < 10; ++p)
        revision = revision * 10 + static_cast<unsigned long>(*p - '0');
    if (revision < 1 || revision > 3)
        fatal(run.diagnostics, "revision %s not supported in this release", text);
    run.options.revision = static_cast<int>(revision);
}

void add_boot_entry(Run& run, int kind, uint32_t address, uint32_t value, const char* name = "")
{
    run.options.boot_entries.push_back(BootEntry{kind, address, value, name});
}

// -reg_config address[,value[,value...]]: each value goes to the next register.
void opt_reg_config(Run& run, const char* typed, bool from_file)
{
    uint32_t address;
    if (!take_number(run, typed, from_file, address)) {
        report(run.diagnostics, SEVERITY_WARNING, "illegal address for -reg_config (ignored)");
        return;
    }
    while (lexer_peek(run.lexer) == ',') {
        lexer_advance(run.lexer);
        if (!skip_blanks(run.lexer))
            fatal(run.diagnostics, "missing value after comma in reg_config option");
        int token = scan_token(run.lexer, run.diagnostics);
        if (token == TOK_NUMBER)
            add_boot_entry(run, BOOT_REGISTER, address, run.lexer.token.number);
        else if (is_name_token(token))
            add_boot_entry(run, BOOT_REGISTER_SYMBOL, address, 0, run.lexer.token.text);
        else
            fatal(run.diagnostics, "missing value after comma in reg_config option");
        ++address;
    }
    if (lexer_peek(run.lexer) != '\0')
        skip_blanks(run.lexer);
}

void opt_delay(Run& run, const char* typed, bool from_file)
{
    uint32_t value;
    if (take_number(run, typed, from_file, value))
        add_boot_entry(run, BOOT_DELAY, 0, value);
    else
        report(run.diagnostics, SEVERITY_WARNING, "bad option to -delay (ignored)");
}

void opt_start_dsp(Run& run, const char* typed, bool from_file)
{
    uint32_t value;
    if (take_number(run, typed, from_file, value))
        add_boot_entry(run, BOOT_START_DSP, 0, value);
    else
        report(run.diagnostics, SEVERITY_WARNING, "bad option to --v6620_startdsp (ignored)");
}

void opt_bootstrap(Run& run, const char* typed, bool)
{
    run.options.has_bootstrap = true;
    run.options.bootstrap = typed + std::strlen("bootstrap=");
}

// The words of the report table (-map, -mapsvg, -mapjson, -depfile): the
// file is opened at once; a later one replaces the file of an earlier one.
void opt_report(Run& run, const char* typed, bool from_file)
{
    const ReportRow* row = nullptr;
    for (int i = 0; i < report_count; ++i)
        if (same_folded(typed, report_rows[i].word))
            row = &report_rows[i];
    if (!row)
        internal_error(run.diagnostics, "no report for -%s", typed);
    const char* typed_name = take_name(run, from_file, row->word);
    // in a lot, each unit's reports have names of its own
    const std::string unit_name = typed_name ? unit_file_name(run.lot, typed_name) : "";
    const char* name = typed_name ? unit_name.c_str() : nullptr;
    if (name && unit_name != typed_name)
        make_unit_folders(run, unit_name);
    if (!name) {
        if (!run.walk.value_refused)
            report(run.diagnostics, SEVERITY_WARNING, "no name on -%s (ignored)", row->word);
        return;
    }
    if (!open_report(run.reports, run.pending, *row, name))
        report(run.diagnostics, SEVERITY_WARNING, "cannot open %s file '%s': %s", role_word(row->role), name,
               std::strerror(errno));
}

// The classic options by matching step; the words of the output formats
// take part in the steps their form gives (output/formats.cpp). Each row
// also says what --help shows of it: its value, its group and one line; a
// row without a line is another spelling of the row with its handler that
// has one.
const OptionRow LETTERS[] = {
    {"e", opt_entry, "address|symbol", GROUP_BOOT, "entry point of the boot table"},
    {"h", opt_help, nullptr, GROUP_INFO, "the classic usage text (exit status 1)"},
    {"o", opt_output, "file", GROUP_FILES, "the next output file ROMS leaves unnamed"},
    {"q", opt_quiet, nullptr, GROUP_FILES, "no progress lines"},
};

const OptionRow WORDS[] = {
    {"image", opt_image, nullptr, GROUP_IMAGE, "fill every address of every range"},
    {"zero", opt_zero, nullptr, GROUP_IMAGE, "in image mode, records count from 0"},
    {"z", opt_zero, nullptr, GROUP_IMAGE, nullptr},
    {"boot", opt_boot, nullptr, GROUP_BOOT, "every initialised section into the boot table"},
    {"fill", opt_fill, "value", GROUP_IMAGE, "16-bit memory-word fill (0xFFFF: blank ROMs); a ROMS fill wins"},
    {"f", opt_fill, "value", GROUP_IMAGE, nullptr},
    {"romwidth", opt_romwidth, "bits", GROUP_RANGES, "width of one ROM device (default 8); a ROMS romwidth wins"},
    {"memwidth", opt_memwidth, "bits", GROUP_RANGES, "width of one memory word (default 16); a ROMS memwidth wins"},
    {"datawidth", opt_datawidth, "bits", GROUP_RANGES, "units -order arranges (default 8)"},
    {"olength", opt_olength, "n", GROUP_FILES, "words a line in Generic format (default 20)"},
    {"order", opt_order, "MS|LS", GROUP_RANGES, "most or least significant part first"},
    {"bootorg", opt_bootorg, "address", GROUP_BOOT, "boot table address (default: first range)"},
    {"wren16", opt_wren16, nullptr, GROUP_BOOT, "boot table for the 16-bit parallel port (and its widths)"},
    {"parallel16", opt_wren16, nullptr, GROUP_BOOT, nullptr},
    {"kite16", opt_kite16, nullptr, GROUP_BOOT, "boot table for the 16-bit serial port (and its widths)"},
    {"serial16", opt_kite16, nullptr, GROUP_BOOT, nullptr},
    {"wren32", opt_wren32, nullptr, GROUP_BOOT, "boot table for the 32-bit parallel port (and its widths)"},
    {"parallel32", opt_wren32, nullptr, GROUP_BOOT, nullptr},
    {"kite8", opt_boot8, nullptr, GROUP_BOOT, "boot table for an 8-bit port (and its widths)"},
    {"serial8", opt_boot8, nullptr, GROUP_BOOT, nullptr},
    {"parallel8", opt_boot8, nullptr, GROUP_BOOT, nullptr},
};

const OptionRow PREFIXES[] = {
    {"v7734", opt_device, "[:1|2|3]", GROUP_BOOT, "K7734 at revision 1, 2 (default) or 3"},
    {"reg_config", opt_reg_config, "address[,value...]", GROUP_BOOT,
     "register values, in one argument"},
    {"-reg_config", opt_reg_config, "address[,value...]", GROUP_BOOT, nullptr},
    {"delay", opt_delay, "count", GROUP_BOOT, "a delay entry in the boot table"},
    {"-delay", opt_delay, "count", GROUP_BOOT, nullptr},
    {"-v6620_startdsp", opt_start_dsp, "value", GROUP_BOOT, "a start-DSP entry in the boot table"},
    {"bootstrap=", opt_bootstrap, "section", GROUP_BOOT, "a section in a boot table of its own, first"},
};

// The report words join these two tables, -map the classic words (matched
// here), the others khex's own.
const OptionRow LATE_WORDS[] = {
    {"bootpage", opt_bootpage, "page", GROUP_BOOT, "memory page of the boot table (default 0)"},
};

// Words of khex's own, beyond the classic options: each is matched whole and
// no rule of an earlier step takes it (a test checks that).
const OptionRow EXTENSION_WORDS[] = {
    {"werror", opt_werror, nullptr, GROUP_BUILD, "warnings fail the run; a failed run writes no file"},
    {"romaddr", opt_romaddr, nullptr, GROUP_RANGES, "lane files with ROM-device addresses"},
    {"-help", opt_long_help, nullptr, GROUP_INFO, "this help (exit status 0)"},
    {"-version", opt_version, nullptr, GROUP_INFO, "the version (exit status 0)"},
    {"checksum", opt_checksum, "range,algorithm[,field=value...]", GROUP_IMAGE,
     "a CRC or sum of a range, stored in it"},
    {"field", opt_field, "range,kind,at=address[,field=value...]", GROUP_IMAGE,
     "the data's length, first or last address, or a constant, stored in a range"},
    {"insert", opt_insert, "range,file[,field=value...]", GROUP_IMAGE,
     "another image (hex or binary file) in a range"},
    {"digest", opt_digest, "range,out=file[,alg=name][,from=a][,to=b][,encoding=raw|hex][,message=file]",
     GROUP_IMAGE, "write the digest of what the target reads of a range: what a signer signs"},
    {"signature", opt_signature, "range,at=address,size=n[,file=sig][,format=raw|der|base64][,digest=file]",
     GROUP_IMAGE, "place a signature made elsewhere; without file= its slot holds fill"},
    {"stamp", opt_stamp,
     "range,at=address,size=n,value=v[,step=s]|text=t|column=name[,kind=number|mac|bytes|text][,chars=1|2][,shared]",
     GROUP_IMAGE, "a unit's own data (serial number, MAC address, key, text) in a range"},
    {"lot", opt_lot, "file.csv[,first=id][,count=n][,name=pattern]", GROUP_BUILD,
     "a set of files for each unit of a lot, with its stamps; written together or not at all"},
    {"lotdelta", opt_lotdelta, "file[,format=hex|list]", GROUP_BUILD,
     "each unit's stamped bytes by lane file (%i a file a unit, %l a lane); the run's files hold fill there"},
    {"lotlog", opt_lotlog, "file", GROUP_BUILD, "append each unit's id and files' SHA-256; refuse an id issued before"},
    {"reclen", opt_reclen, "n", GROUP_FILES, "at most n data bytes a record (Intel, Motorola, Tektronix)"},
    {"outputs", opt_outputs, "file[,file...]", GROUP_BUILD,
     "the files the build expects: any other or missing one fails the run"},
    {"verify", opt_verify, "output=readback[:format]", GROUP_BUILD,
     "compare a device's read-back with an output; write no output"},
    {"verifylimit", opt_verify_limit, "n", GROUP_BUILD, "runs of differences verify lists a pair (default 10, 0 all)"},
    {"sections", opt_sections, nullptr, GROUP_INFO,
     "list the executable's sections and where they would go; convert nothing"},
    {"symbols", opt_symbols, nullptr, GROUP_INFO, "the same, with the symbols by address"},
    {"also", opt_also, "format[,range][,romwidth=bits][,names=pattern]", GROUP_FILES,
     "another set of files of the same placement, in another format or width"},
    {"addrunit", opt_addrunit, "8|16", GROUP_RANGES, "an ELF file's addresses count bytes (8) or 16-bit words (16)"},
};

// After "--", only the next letter counts: --binary acts as --b.
const OptionRow DOUBLE_DASH[] = {
    {"s", opt_symtrace, nullptr, GROUP_INFO, "trace the symbol table"},
    {"v", opt_verbose, nullptr, GROUP_INFO, "trace the COFF loader and boot buffer"},
};

enum class Compare { WHOLE, PREFIX, SECOND_LETTER };

bool matches(const char* lower, const char* word, Compare how)
{
    switch (how) {
    case Compare::WHOLE: return std::strcmp(lower, word) == 0;
    case Compare::PREFIX: return std::strncmp(lower, word, std::strlen(word)) == 0;
    case Compare::SECOND_LETTER: return lower[0] == '-' && lower[1] == word[0];
    }
    return false;
}

// The tables in matching order, each with the step that takes its words: all
// constant data.
const OptionRows TABLES[] = {
    {LETTERS, std::size(LETTERS), "-", NO_REPORTS},
    {WORDS, std::size(WORDS), "-", NO_REPORTS},
    {PREFIXES, std::size(PREFIXES), "-", NO_REPORTS},
    {LATE_WORDS, std::size(LATE_WORDS), "-", CLASSIC_REPORTS},
    {EXTENSION_WORDS, std::size(EXTENSION_WORDS), "-", OWN_REPORTS},
    {DOUBLE_DASH, std::size(DOUBLE_DASH), "--", NO_REPORTS},
};
enum TableIndex { T_LETTERS, T_WORDS, T_PREFIXES, T_LATE_WORDS, T_EXTENSION_WORDS, T_DOUBLE_DASH };

bool find_row(const OptionRows& table, const char* lower, Compare how, int step, OptionMatch& match)
{
    for (size_t i = 0, n = row_count(table); i < n; ++i) {
        const OptionRow row = row_at(table, i);
        if (matches(lower, row.word, how)) {
            match = OptionMatch{step, row.handle, 0, nullptr};
            return true;
        }
    }
    return false;
}

// A format word of the given form: "x" a letter, "xy" a whole word, "-x" the
// letter after two dashes.
bool find_format_word(const char* lower, Compare how, int step, OptionMatch& match)
{
    for (int f = 0; f < format_count; ++f) {
        for (const FormatWord& w : output_formats[f].words) {
            if (!w.word)
                continue;
            const bool dash = w.word[0] == '-';
            const bool letter = !dash && w.word[1] == '\0';
            const bool fits = how == Compare::SECOND_LETTER ? dash
                              : step == STEP_LETTER        ? letter
                              : step == STEP_EXTENSION     ? w.extension
                                                           : !dash && !letter && !w.extension;
            if (fits && matches(lower, dash ? w.word + 1 : w.word, how)) {
                match = OptionMatch{step, nullptr, f, &w};
                return true;
            }
        }
    }
    return false;
}

}  // namespace

size_t row_count(const OptionRows& table)
{
    size_t n = table.count;
    if (table.reports != NO_REPORTS)
        for (int i = 0; i < report_count; ++i)
            n += report_rows[i].classic == (table.reports == CLASSIC_REPORTS);
    return n;
}

OptionRow row_at(const OptionRows& table, size_t i)
{
    if (i < table.count)
        return table.rows[i];
    i -= table.count;
    for (int k = 0; k < report_count; ++k) {
        const ReportRow& r = report_rows[k];
        if (r.classic != (table.reports == CLASSIC_REPORTS))
            continue;
        if (i-- == 0)
            return OptionRow{r.word, opt_report, r.value, r.group, r.help};
    }
    return OptionRow{"", nullptr, nullptr, 0, nullptr};
}

OptionMatch match_option(const char* lower)
{
    OptionMatch m{0, nullptr, 0, nullptr};
    if (lower[0] != '\0' && lower[1] == '\0' &&
        (find_row(TABLES[T_LETTERS], lower, Compare::WHOLE, STEP_LETTER, m) ||
         find_format_word(lower, Compare::WHOLE, STEP_LETTER, m)))
        return m;
    if (find_format_word(lower, Compare::WHOLE, STEP_WORD, m) ||
        find_row(TABLES[T_WORDS], lower, Compare::WHOLE, STEP_WORD, m) ||
        find_row(TABLES[T_PREFIXES], lower, Compare::PREFIX, STEP_PREFIX, m) ||
        find_row(TABLES[T_LATE_WORDS], lower, Compare::WHOLE, STEP_LATE_WORD, m) ||
        find_row(TABLES[T_EXTENSION_WORDS], lower, Compare::WHOLE, STEP_EXTENSION, m) ||
        find_format_word(lower, Compare::WHOLE, STEP_EXTENSION, m) ||
        find_row(TABLES[T_DOUBLE_DASH], lower, Compare::SECOND_LETTER, STEP_DOUBLE_DASH, m) ||
        find_format_word(lower, Compare::SECOND_LETTER, STEP_DOUBLE_DASH, m))
        return m;
    return OptionMatch{0, nullptr, 0, nullptr};
}

const OptionRows& extension_options()
{
    return TABLES[T_EXTENSION_WORDS];
}

std::span<const OptionRows> option_tables()
{
    return TABLES;
}

void handle_option(Run& run, const char* text, bool from_command_file)
{
    // options longer than a command-file line are matched by their first 255 characters
    const std::string lower = folded(std::string_view(text).substr(0, LINE_BUFFER_SIZE - 1));
    OptionMatch m = match_option(lower.c_str());
    if (m.format_word)
        select_format(run, m.format, *m.format_word);
    else if (m.handle)
        m.handle(run, text, from_command_file);
    else
        report(run.diagnostics, SEVERITY_WARNING, "invalid option: -%s", text);
}

}  // namespace khex
