#include "driver/options.h"

#include <cctype>
#include <cerrno>
#include <cstring>

#include "cmdfile/lexer.h"
#include "driver/diagnostics.h"
#include "driver/walk.h"
#include "memory/ranges.h"
#include "output/formats.h"
#include "output/pending.h"

namespace khex {

ConvOptions options;

namespace {

using Handler = void (*)(const char* typed, bool from_file);

struct OptionRow {
    const char* word;
    Handler handle;
};

void set_format(int format)
{
    options.format = format;
}

void opt_ascii(const char*, bool) { set_format(FORMAT_ASCII_HEX); }
void opt_intel(const char*, bool) { set_format(FORMAT_INTEL); }
void opt_motorola(const char*, bool) { set_format(FORMAT_MOTOROLA); }
void opt_motorola_s1(const char*, bool) { set_format(FORMAT_MOTOROLA_S1); }
void opt_motorola_s2(const char*, bool) { set_format(FORMAT_MOTOROLA_S2); }
void opt_motorola_s3(const char*, bool) { set_format(FORMAT_MOTOROLA_S3); }
void opt_zq_tagged(const char*, bool) { set_format(FORMAT_ZQ_TAGGED); }
void opt_tektronix(const char*, bool) { set_format(FORMAT_TEKTRONIX); }
void opt_debug(const char*, bool) { set_format(FORMAT_DEBUG); }
void opt_quiet(const char*, bool) { options.quiet = true; }
void opt_image(const char*, bool) { options.image = true; }
void opt_zero(const char*, bool) { options.zero = true; }
void opt_boot(const char*, bool) { options.boot_all = true; }
void opt_symtrace(const char*, bool) { ++options.symtrace; }
void opt_verbose(const char*, bool) { ++options.verbose; }
void opt_help(const char*, bool) { print_usage(true); }
void opt_long_help(const char*, bool) { print_help(); }
void opt_version(const char*, bool) { print_version(); }
void opt_werror(const char*, bool) { diagnostics.warnings_are_errors = true; }
void opt_romaddr(const char*, bool) { options.romaddr = true; }

void opt_binary(const char*, bool)
{
    set_format(FORMAT_BINARY);
    options.romwidth = 1;
    options.memwidth = 1;
}

void opt_generic_bytes(const char*, bool)
{
    set_format(FORMAT_GENERIC);
    if (!options.romwidth_given)
        options.romwidth = 1;
}

void opt_generic_words(const char*, bool)
{
    set_format(FORMAT_GENERIC);
    if (!options.romwidth_given)
        options.romwidth = 2;
}

void opt_entry(const char* typed, bool from_file)
{
    OptionValue v = take_value(from_file);
    if (v.token == TOK_NUMBER) {
        options.entry_address = v.number;
        options.has_entry_symbol = false;
        options.entry_symbol.clear();
    } else if (v.token == TOK_NAME) {
        options.has_entry_symbol = true;
        options.entry_symbol = v.text;
        options.entry_address = NOT_GIVEN;
    } else {
        report(SEVERITY_WARNING, "invalid value for -%s option (ignored)", typed);
    }
}

void opt_output(const char*, bool from_file)
{
    if (const char* word = take_word(from_file))
        add_output_name(word);
    else
        report(SEVERITY_WARNING, "no name on -o (ignored)");
}

void opt_fill(const char* typed, bool from_file)
{
    uint32_t value;
    if (!take_number(typed, from_file, value))
        return;
    if (value & 0xFFFF0000) {
        value &= 0xFFFF;
        report(SEVERITY_WARNING, "fill value truncated to %d bytes: %0*lx", 2, 4, static_cast<unsigned long>(value));
    }
    options.fill = value;
}

// Widths: a width of 0 bits is as illegal as one that is not a multiple of 8.
bool legal_width(uint32_t bits)
{
    return bits != 0 && bits % 8 == 0;
}

void opt_romwidth(const char* typed, bool from_file)
{
    options.romwidth_given = true;
    options.romwidth = 1;
    uint32_t value;
    if (!take_number(typed, from_file, value))
        return;
    if (legal_width(value))
        options.romwidth = static_cast<int>(value / 8);
    else
        report(SEVERITY_WARNING, "illegal romwidth of %ld, using romwidth=8", static_cast<long>(value));
}

void opt_memwidth(const char* typed, bool from_file)
{
    options.memwidth = 2;
    uint32_t value;
    if (!take_number(typed, from_file, value))
        return;
    if (value > 16)
        report(SEVERITY_WARNING, "memwidth(%ld) is greater than target width(%d)", static_cast<long>(value), 16);
    if (legal_width(value))
        options.memwidth = static_cast<int>(value / 8);
    else
        report(SEVERITY_WARNING, "illegal memwidth of %ld, using memwidth=%d", static_cast<long>(value), 16);
}

void opt_datawidth(const char* typed, bool from_file)
{
    options.datawidth = 1;
    uint32_t value;
    if (!take_number(typed, from_file, value))
        return;
    if (legal_width(value))
        options.datawidth = static_cast<int>(value / 8);
    else
        report(SEVERITY_WARNING, "illegal datawidth of %ld, using datawidth=%d", static_cast<long>(value), 8);
}

void opt_olength(const char* typed, bool from_file)
{
    uint32_t value;
    if (!take_number(typed, from_file, value))
        return;
    options.olength = static_cast<int32_t>(value);
    if (options.olength < 1) {
        options.olength = 1;
        report(SEVERITY_WARNING, "illegal value %ld for -olength, using 1", static_cast<long>(value));
    }
}

void opt_order(const char*, bool from_file)
{
    const char* word = take_word(from_file);
    char first = word ? word[0] : '\0';
    if (first == 'M' || first == 'm')
        options.order = ORDER_MS;
    else if (first == 'L' || first == 'l')
        options.order = ORDER_LS;
    else
        report(SEVERITY_ERROR, "invalid -order option: specify MS or LS");
}

void opt_bootorg(const char*, bool from_file)
{
    OptionValue v = take_value(from_file);
    if (v.token == TOK_NUMBER)
        options.bootorg = v.number;
    else if (v.token == TOK_NAME)
        report(SEVERITY_WARNING, "illegal -bootorg value (ignored)");
    else
        report(SEVERITY_WARNING, "illegal value on -bootorg (ignored)");
}

void opt_bootpage(const char* typed, bool from_file)
{
    uint32_t value;
    if (take_number(typed, from_file, value))
        options.bootpage = static_cast<int32_t>(value);
}

void set_boot_mode(int memwidth, int romwidth, int port, int alignment, int mode)
{
    options.memwidth = memwidth;
    options.romwidth = romwidth;
    options.boot.port = port;
    options.boot.alignment = alignment;
    options.boot.mode = mode;
}

void opt_wren16(const char*, bool) { set_boot_mode(2, 2, BOOT_PORT_PARALLEL, 2, BOOT_MODE_WREN16); }
void opt_kite16(const char*, bool) { set_boot_mode(2, 2, BOOT_PORT_SERIAL, 2, BOOT_MODE_KITE16); }
void opt_wren32(const char*, bool) { set_boot_mode(2, 4, BOOT_PORT_PARALLEL, 4, BOOT_MODE_WREN32); }
void opt_boot8(const char*, bool) { set_boot_mode(1, 1, BOOT_PORT_SERIAL, 2, BOOT_MODE_8BIT); }

// -v7734 or -v7734:n with the revision n of 1, 2 or 3.
void opt_device(const char* typed, bool)
{
    options.device = 7734;
    options.device_given = true;
    options.revision = 2;
    if (typed[5] != ':' || typed[6] == '\0')
        return;
    const char* text = typed + 6;
    unsigned long revision = 0;
    for (const char* p = text; std::isdigit(static_cast<unsigned char>(*p)) && revision < 10; ++p)
        revision = revision * 10 + static_cast<unsigned long>(*p - '0');
    if (revision < 1 || revision > 3)
        fatal("revision %s not supported in this release", text);
    options.revision = static_cast<int>(revision);
}

void add_boot_entry(int kind, uint32_t address, uint32_t value, const char* name = "")
{
    options.boot_entries.push_back(BootEntry{kind, address, value, name});
}

// -reg_config address[,value[,value...]]: each value goes to the next register.
void opt_reg_config(const char* typed, bool from_file)
{
    uint32_t address;
    if (!take_number(typed, from_file, address)) {
        report(SEVERITY_WARNING, "illegal address for -reg_config (ignored)");
        return;
    }
    while (lexer_peek() == ',') {
        lexer_advance();
        if (!skip_blanks())
            fatal("missing value after comma in reg_config option");
        int token = scan_token();
        if (token == TOK_NUMBER)
            add_boot_entry(BOOT_REGISTER, address, token_value.number);
        else if (token >= TOK_NAME && token <= TOK_MEMWIDTH)
            add_boot_entry(BOOT_REGISTER_SYMBOL, address, 0, token_value.text);
        else
            fatal("missing value after comma in reg_config option");
        ++address;
    }
    if (lexer_peek() != '\0')
        skip_blanks();
}

void opt_delay(const char* typed, bool from_file)
{
    uint32_t value;
    if (take_number(typed, from_file, value))
        add_boot_entry(BOOT_DELAY, 0, value);
    else
        report(SEVERITY_WARNING, "bad option to -delay (ignored)");
}

void opt_start_dsp(const char* typed, bool from_file)
{
    uint32_t value;
    if (take_number(typed, from_file, value))
        add_boot_entry(BOOT_START_DSP, 0, value);
    else
        report(SEVERITY_WARNING, "bad option to --v6620_startdsp (ignored)");
}

void opt_bootstrap(const char* typed, bool)
{
    options.has_bootstrap = true;
    options.bootstrap = typed + std::strlen("bootstrap=");
}

// -map and -mapsvg: a later one replaces the file of an earlier one.
void open_map_option(const char* option, bool from_file, FILE*& file, std::string& file_name)
{
    const char* name = take_word(from_file);
    if (!name) {
        report(SEVERITY_WARNING, "no name on -%s (ignored)", option);
        return;
    }
    FILE* stream = open_pending(name, false, FileRole::MAP);
    if (!stream) {
        report(SEVERITY_WARNING, "cannot open map file '%s': %s", name, std::strerror(errno));
        return;
    }
    if (file)
        drop_pending(file);
    file = stream;
    file_name = name;
}

void opt_map(const char*, bool from_file)
{
    open_map_option("map", from_file, options.map_file, options.map_name);
}

void opt_mapsvg(const char*, bool from_file)
{
    open_map_option("mapsvg", from_file, options.svg_file, options.svg_name);
}

// The matching steps, tried in this order; the first match wins.
const OptionRow SINGLE_LETTERS[] = {
    {"a", opt_ascii}, {"b", opt_binary}, {"e", opt_entry}, {"h", opt_help}, {"i", opt_intel},
    {"m", opt_motorola}, {"o", opt_output}, {"q", opt_quiet}, {"t", opt_zq_tagged}, {"x", opt_tektronix},
};

const OptionRow WHOLE_WORDS[] = {
    {"m1", opt_motorola_s1}, {"m2", opt_motorola_s2}, {"m3", opt_motorola_s3},
    {"image", opt_image}, {"zero", opt_zero}, {"z", opt_zero}, {"boot", opt_boot},
    {"fill", opt_fill}, {"f", opt_fill}, {"romwidth", opt_romwidth}, {"memwidth", opt_memwidth},
    {"datawidth", opt_datawidth}, {"olength", opt_olength}, {"order", opt_order},
    {"bootorg", opt_bootorg}, {"wren16", opt_wren16}, {"parallel16", opt_wren16},
    {"kite16", opt_kite16}, {"serial16", opt_kite16}, {"wren32", opt_wren32},
    {"parallel32", opt_wren32}, {"kite8", opt_boot8}, {"serial8", opt_boot8}, {"parallel8", opt_boot8},
};

const OptionRow PREFIXES[] = {
    {"v7734", opt_device}, {"reg_config", opt_reg_config}, {"-reg_config", opt_reg_config},
    {"delay", opt_delay}, {"-delay", opt_delay}, {"-v6620_startdsp", opt_start_dsp},
    {"bootstrap=", opt_bootstrap},
};

const OptionRow LATE_WORDS[] = {
    {"map", opt_map}, {"bootpage", opt_bootpage},
};

// Words of khex's own, beyond the classic options: each is matched whole and
// begins with none of the words above, so it takes nothing from them.
const OptionRow EXTENSION_WORDS[] = {
    {"werror", opt_werror}, {"romaddr", opt_romaddr}, {"mapsvg", opt_mapsvg}, {"-help", opt_long_help}, {"-version", opt_version},
};

// After "--", only the next letter counts: --binary acts as --b.
const OptionRow DOUBLE_DASH[] = {
    {"b", opt_generic_bytes}, {"d", opt_debug}, {"s", opt_symtrace}, {"v", opt_verbose}, {"w", opt_generic_words},
};

Handler match_option(const char* lower)
{
    size_t length = std::strlen(lower);
    if (length == 1)
        for (const OptionRow& row : SINGLE_LETTERS)
            if (lower[0] == row.word[0])
                return row.handle;
    for (const OptionRow& row : WHOLE_WORDS)
        if (std::strcmp(lower, row.word) == 0)
            return row.handle;
    for (const OptionRow& row : PREFIXES)
        if (std::strncmp(lower, row.word, std::strlen(row.word)) == 0)
            return row.handle;
    for (const OptionRow& row : LATE_WORDS)
        if (std::strcmp(lower, row.word) == 0)
            return row.handle;
    for (const OptionRow& row : EXTENSION_WORDS)
        if (std::strcmp(lower, row.word) == 0)
            return row.handle;
    if (lower[0] == '-')
        for (const OptionRow& row : DOUBLE_DASH)
            if (lower[1] == row.word[0])
                return row.handle;
    return nullptr;
}

}  // namespace

void reset_options()
{
    options = ConvOptions{};
    options.format = FORMAT_TEKTRONIX;
    options.romwidth = 1;
    options.memwidth = 2;
    options.datawidth = 1;
    options.order = ORDER_NONE;
    options.olength = 20;
    options.entry_address = NOT_GIVEN;
    options.bootorg = NOT_GIVEN;
    options.bootpage = 0;
    options.device = 7734;
    options.revision = 2;
    options.boot = BootParams{BOOT_MODE_NONE, BOOT_PORT_NONE, 1};
}

void handle_option(const char* text, bool from_command_file)
{
    char lower[LINE_BUFFER_SIZE];
    size_t length = std::min(std::strlen(text), sizeof lower - 1);
    for (size_t i = 0; i < length; ++i)
        lower[i] = (text[i] >= 'A' && text[i] <= 'Z') ? static_cast<char>(text[i] - 'A' + 'a') : text[i];
    lower[length] = '\0';

    if (Handler handle = match_option(lower))
        handle(text, from_command_file);
    else
        report(SEVERITY_WARNING, "invalid option: -%s", text);
}

}  // namespace khex
