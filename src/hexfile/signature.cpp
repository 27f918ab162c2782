#include "hexfile/signature.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "base/text.h"

namespace khex {

namespace {

const char* const FORMAT_WORDS[] = {"raw", "der", "base64", "base64der"};

// Larger files are no signature or digest; they are not read whole.
constexpr long MAX_FILE_BYTES = 1 << 20;

[[gnu::format(printf, 3, 4)]] bool fail(SignatureError& error, uint32_t line, const char* format, ...)
{
    char text[300];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    error.line = line;
    error.text = text;
    return false;
}

unsigned long ul(uint64_t value)
{
    return static_cast<unsigned long>(value);
}

// A DER reader over the signature's bytes: where it stands and the error of
// the byte it stopped at.
struct Der {
    const uint8_t* data;
    size_t n;
    size_t at = 0;
    SignatureError& error;

    bool bad(const char* what)
    {
        if (at >= n)
            return fail(error, 0, "the DER signature ends at byte %lu, before %s", ul(n), what);
        return fail(error, 0, "byte %lu (0x%02x) of the DER signature: %s", ul(at), data[at], what);
    }

    // A tag and its definite length, short or long form (the long form
    // only where the short would not do); false when the content would run
    // past the end.
    bool header(uint8_t tag, const char* tag_name, size_t& length)
    {
        if (at >= n || data[at] != tag)
            return bad(tag_name);
        ++at;
        if (at >= n)
            return bad("its length");
        const uint8_t first = data[at];
        if (first < 0x80) {
            length = first;
            ++at;
        } else {
            const int count = first & 0x7F;
            if (count == 0 || count > 2)
                return bad("a length of one or two bytes");
            if (at + static_cast<size_t>(count) >= n)
                return bad("its length");
            length = 0;
            for (int i = 1; i <= count; ++i)
                length = length << 8 | data[at + static_cast<size_t>(i)];
            if (length < 0x80 || (count == 2 && length < 0x100))
                return bad("the shortest form of its length");
            at += static_cast<size_t>(count) + 1;
        }
        if (length > n - at)
            return fail(error, 0, "the DER signature's %s holds %lu bytes, but %lu follow", tag_name, ul(length),
                        ul(n - at));
        return true;
    }

    // An INTEGER as an unsigned big-endian number of half bytes, zeros on
    // its left.
    bool integer(const char* name, uint32_t half, uint8_t* out)
    {
        size_t length = 0;
        const size_t start = at;
        if (!header(0x02, name[0] == 'r' ? "INTEGER r (0x02)" : "INTEGER s (0x02)", length))
            return false;
        if (length == 0)
            return fail(error, 0, "byte %lu of the DER signature: %s is empty", ul(start + 1), name);
        if (data[at] & 0x80)
            return bad(name[0] == 'r' ? "r is negative" : "s is negative");
        size_t skip = 0;  // the sign byte and any zeros before the number
        while (skip < length && data[at + skip] == 0)
            ++skip;
        const size_t bytes = length - skip;
        if (bytes > half)
            return fail(error, 0, "%s has %lu bytes, more than the %lu of half the slot", name, ul(bytes), ul(half));
        std::memset(out, 0, half);
        std::memcpy(out + (half - bytes), data + at + skip, bytes);
        at += length;
        return true;
    }
};

bool decode_der(const uint8_t* data, size_t n, uint32_t size, std::vector<uint8_t>& out, SignatureError& error)
{
    if (size % 2 != 0)
        return fail(error, 0, "a DER signature's r and s take half the slot each: size=%lu is odd", ul(size));
    Der der{data, n, 0, error};
    size_t length = 0;
    if (!der.header(0x30, "a SEQUENCE (0x30)", length))
        return false;
    const size_t end = der.at + length;
    if (end != n) {
        der.at = end;
        return der.bad("nothing after the SEQUENCE");
    }
    out.assign(size, 0);
    if (!der.integer("r", size / 2, out.data()) || !der.integer("s", size / 2, out.data() + size / 2))
        return false;
    if (der.at != end)
        return der.bad("nothing after s");
    return true;
}

int base64_digit(uint8_t c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

bool blank(uint8_t c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Base64 text: blanks and line ends anywhere, PEM armour lines (those that
// start with "-----") skipped, padding only at the end.
bool decode_base64(const uint8_t* data, size_t n, std::vector<uint8_t>& out, SignatureError& error)
{
    out.clear();
    uint32_t line = 1;
    uint32_t bits = 0;
    int held = 0;       // bits held
    int digits = 0;     // digits since the last whole group of four
    int padding = 0;
    bool line_start = true;
    for (size_t i = 0; i < n; ++i) {
        const uint8_t c = data[i];
        if (c == '\n') {
            ++line;
            line_start = true;
            continue;
        }
        if (line_start && c == '-') {
            while (i < n && data[i] != '\n')
                ++i;
            --i;
            continue;
        }
        line_start = false;
        if (blank(c))
            continue;
        if (c == '=') {
            if (digits < 2 || digits + ++padding > 4)
                return fail(error, line, "'=' where base64 text has no padding");
            continue;
        }
        const int digit = base64_digit(c);
        if (digit < 0)
            return fail(error, line, "character 0x%02x is not base64", c);
        if (padding)
            return fail(error, line, "base64 text after its padding");
        bits = bits << 6 | static_cast<uint32_t>(digit);
        held += 6;
        digits = (digits + 1) % 4;
        if (held >= 8) {
            held -= 8;
            out.push_back(static_cast<uint8_t>(bits >> held));
            bits &= (1u << held) - 1;
        }
    }
    if (digits == 1)
        return fail(error, line, "base64 text ends one digit into a group");
    if (padding && digits + padding != 4)
        return fail(error, line, "base64 text ends with %d '=' after %d digits", padding, digits);
    return true;
}

// The file's bytes, up to the limit; false with the error.
bool read_whole(const std::string& name, std::vector<uint8_t>& bytes, Diagnostics& d)
{
    FILE* f = std::fopen(name.c_str(), "rb");
    if (!f) {
        report(d, SEVERITY_ERROR, "%s: cannot open it: %s", name.c_str(), std::strerror(errno));
        return false;
    }
    bytes.resize(MAX_FILE_BYTES + 1);
    const size_t n = std::fread(bytes.data(), 1, bytes.size(), f);
    const bool failed = std::ferror(f) != 0;
    const int error = errno;
    std::fclose(f);
    if (failed) {
        report(d, SEVERITY_ERROR, "%s: cannot read it: %s", name.c_str(), std::strerror(error));
        return false;
    }
    if (n > static_cast<size_t>(MAX_FILE_BYTES)) {
        report(d, SEVERITY_ERROR, "%s: larger than %ld bytes: no signature or digest", name.c_str(), MAX_FILE_BYTES);
        return false;
    }
    bytes.resize(n);
    return true;
}

bool refuse(Diagnostics& d, const std::string& name, const SignatureError& error, bool text)
{
    if (text)
        report(d, SEVERITY_ERROR, "%s:%lu: %s", name.c_str(), ul(error.line), error.text.c_str());
    else
        report(d, SEVERITY_ERROR, "%s: %s", name.c_str(), error.text.c_str());
    return false;
}

}  // namespace

const char* signature_format_name(int format)
{
    return format >= 0 && format < static_cast<int>(std::size(FORMAT_WORDS)) ? FORMAT_WORDS[format] : "?";
}

int signature_format_of(const std::string& word)
{
    for (size_t i = 0; i < std::size(FORMAT_WORDS); ++i)
        if (word == FORMAT_WORDS[i])
            return static_cast<int>(i);
    return -1;
}

std::string signature_format_names()
{
    std::string names;
    for (const char* w : FORMAT_WORDS)
        names += std::string(names.empty() ? "" : ", ") + w;
    return names;
}

bool decode_signature(const uint8_t* data, size_t n, int format, uint32_t size, std::vector<uint8_t>& out,
                      SignatureError& error)
{
    std::vector<uint8_t> decoded;
    if (format == SIGNATURE_BASE64 || format == SIGNATURE_BASE64_DER) {
        if (!decode_base64(data, n, decoded, error))
            return false;
        data = decoded.data();
        n = decoded.size();
    }
    error.line = 1;
    if (n == 0)
        return fail(error, 0, "no signature in it");
    if (format == SIGNATURE_DER || format == SIGNATURE_BASE64_DER)
        return decode_der(data, n, size, out, error);
    if (n > size)
        return fail(error, 0, "a signature of %lu bytes is longer than its slot of %lu", ul(n), ul(size));
    out.assign(data, data + n);
    return true;
}

bool decode_signed_digest(const uint8_t* data, size_t n, uint32_t width, std::vector<uint8_t>& out,
                          SignatureError& error)
{
    out.clear();
    if (n == width) {
        out.assign(data, data + n);
        return true;
    }
    uint32_t line = 1;
    for (size_t i = 0; i < n; ++i) {
        if (data[i] == '\n')
            ++line;
        if (blank(data[i]))
            continue;
        const int high = hex_digit(static_cast<char>(data[i]));
        const int low = i + 1 < n ? hex_digit(static_cast<char>(data[i + 1])) : -1;
        if (high < 0 || low < 0 || out.size() == width)
            return fail(error, line, "neither the %lu bytes of the digest nor its %lu hex digits", ul(width),
                        ul(2 * width));
        out.push_back(static_cast<uint8_t>(high << 4 | low));
        ++i;
    }
    if (out.size() != width)
        return fail(error, line, "%lu hex digits, not the %lu of the digest", ul(2 * out.size()), ul(2 * width));
    return true;
}

bool read_signature_file(const std::string& name, int format, uint32_t size, std::vector<uint8_t>& out,
                         Diagnostics& d)
{
    std::vector<uint8_t> bytes;
    if (!read_whole(name, bytes, d))
        return false;
    SignatureError error;
    if (decode_signature(bytes.data(), bytes.size(), format, size, out, error))
        return true;
    const bool text = (format == SIGNATURE_BASE64 || format == SIGNATURE_BASE64_DER) && error.line != 0;
    return refuse(d, name, error, text);
}

bool read_signed_digest_file(const std::string& name, uint32_t width, std::vector<uint8_t>& out, Diagnostics& d)
{
    std::vector<uint8_t> bytes;
    if (!read_whole(name, bytes, d))
        return false;
    SignatureError error;
    return decode_signed_digest(bytes.data(), bytes.size(), width, out, error) || refuse(d, name, error, true);
}

}  // namespace khex
