// The readers of what a signer gives back: the forms signing tools write that
// the signing test's openssl run does not (long DER lengths, a number with
// its sign byte or shorter than half the slot, PEM armour, unpadded base64,
// digests as text), and the refusals of what is not a signature.
#include <gtest/gtest.h>

#include "hexfile/signature.h"

using namespace khex;

namespace {

std::string hex_of(const std::vector<uint8_t>& bytes)
{
    std::string text;
    char digits[3];
    for (uint8_t b : bytes) {
        std::snprintf(digits, sizeof digits, "%02x", b);
        text += digits;
    }
    return text;
}

std::string times(const std::string& text, int n)
{
    std::string out;
    for (int i = 0; i < n; ++i)
        out += text;
    return out;
}

TEST(SignatureFiles, EachFormDecodesToTheSlotsBytesOrIsRefusedWithWhere)
{
    struct Case {
        int format;
        std::string file;
        uint32_t size;
        std::string result;  // hex of the signature, or "line N: message"
    };
    // long lengths: r of 129 bytes after its sign byte, s of one
    const std::string r130 = std::string("\x02\x81\x82\x00", 4) + std::string(129, '\x7f');
    const std::string long_result = "00" + times("7f", 129) + times("00", 129) + "05";
    const Case cases[] = {
        {SIGNATURE_DER, std::string("\x30\x08\x02\x02\x00\x80\x02\x02\x01\x02", 10), 8, "0000008000000102"},
        {SIGNATURE_DER, "\x30\x81\x88" + r130 + std::string("\x02\x01\x05", 3), 260, long_result},
        {SIGNATURE_DER, std::string("\x30\x06\x02\x01\x80\x02\x01\x01", 8), 4, "line 0: byte 4 (0x80) of the DER "
                                                                                   "signature: r is negative"},
        {SIGNATURE_DER, std::string("\x30\x81\x06\x02\x01\x01\x02\x01\x01", 9), 4,
         "line 0: byte 1 (0x81) of the DER signature: the shortest form of its length"},
        {SIGNATURE_DER, std::string("\x30\x06\x02\x01\x01\x02\x01\x01\x00", 9), 4,
         "line 0: byte 8 (0x00) of the DER signature: nothing after the SEQUENCE"},
        {SIGNATURE_DER, std::string("\x30\x07\x02\x01\x01\x02\x01\x01\x00", 9), 4,
         "line 0: byte 8 (0x00) of the DER signature: nothing after s"},
        {SIGNATURE_BASE64, "-----BEGIN X-----\nAQID\nBA\n-----END X-----\n", 8, "01020304"},
        {SIGNATURE_BASE64, "AQIDBA==", 8, "01020304"},
        {SIGNATURE_BASE64, "AQIDB", 8, "line 1: base64 text ends one digit into a group"},
        {SIGNATURE_BASE64, "AQ==\nAQ", 8, "line 2: base64 text after its padding"},
        {SIGNATURE_RAW, "", 8, "line 0: no signature in it"},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> out;
        SignatureError error;
        const bool ok = decode_signature(reinterpret_cast<const uint8_t*>(c.file.data()), c.file.size(), c.format,
                                         c.size, out, error);
        EXPECT_EQ(ok ? hex_of(out) : "line " + std::to_string(error.line) + ": " + error.text, c.result);
    }
}

TEST(SignatureFiles, ASignedDigestIsItsBytesOrItsHexDigits)
{
    const std::string bytes(4, '\x41');
    const struct {
        std::string file, result;
    } cases[] = {
        {bytes, "41414141"},
        {"  DEADbeef\r\n", "deadbeef"},
        {"dead\nbeef\n", "deadbeef"},
        {"deadbeef00\n", "line 1: neither the 4 bytes of the digest nor its 8 hex digits"},
        {"dead\n", "line 2: 4 hex digits, not the 8 of the digest"},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> out;
        SignatureError error;
        const bool ok =
            decode_signed_digest(reinterpret_cast<const uint8_t*>(c.file.data()), c.file.size(), 4, out, error);
        EXPECT_EQ(ok ? hex_of(out) : "line " + std::to_string(error.line) + ": " + error.text, c.result);
    }
}

}  // namespace
