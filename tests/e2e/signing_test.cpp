// Signing-ready images: -digest writes what a signer signs, -signature puts
// the signature back. The flow is run with openssl as the signer, and the
// signature is checked by python3-cryptography over the image decoded from
// the lane files by objcopy.
#include <gtest/gtest.h>

#include "helpers.h"

using namespace khextest;
using coffgen::Coff;
using coffgen::Section;

namespace {

// Code at 0..0x5f and data at 0x80..0x8f of a big-endian target.
Coff signed_program()
{
    Coff c;
    c.target_big_endian = true;
    c.entry_point = 0;
    c.sections = {{".text", 0, coffgen::pattern(0x60, 0x10), 0, coffgen::STYP_TEXT},
                  {".data", 0x80, coffgen::pattern(0x10, 0x90), 0, coffgen::STYP_DATA}};
    c.symbols = {{"_start", 0, 1}, {"_signature", 0xa0, -1}};
    return c;
}

const char ROMS[] = "ROMS { r: origin = 0, length = 0x100, romwidth = 8, memwidth = 16,\n"
                    "       files = { lo.hex, hi.hex } }\n";

RunResult convert(const TempDir& dir, std::vector<std::string> options)
{
    dir.write("app.out", signed_program().build());
    dir.write("r.cmd", ROMS);
    options.insert(options.begin(), {"-q", "-i", "-image", "-romaddr", "-fill", "0xA55A", "-order", "MS"});
    options.insert(options.end(), {"r.cmd", "app.out"});
    return run_khex(dir, options);
}

// The image as the target reads it, from the lane files: under -order MS
// hi.hex carries the first byte of each word.
void write_image(const TempDir& dir)
{
    std::string first = objcopy_decode(dir, "hi.hex", "ihex"), second = objcopy_decode(dir, "lo.hex", "ihex");
    std::string image;
    for (size_t k = 0; k < first.size(); ++k)
        image += std::string{first[k], second[k]};
    dir.write("image.bin", image);
}

// The digest leaves out the signature's slot (0xa0..0xdf) and the CRC-32 in
// the last word, which covers the signature as boot code checks it.
const std::vector<std::string> LAYOUT = {"-digest", "r,out=image.sha,to=0xfb,message=image.msg", "-checksum",
                                         "r,crc32"};

std::vector<std::string> with(std::vector<std::string> options, const std::vector<std::string>& more)
{
    options.insert(options.end(), more.begin(), more.end());
    return options;
}

TEST(Signing, AnEcdsaSignatureOfTheDigestVerifiesOverTheDecodedImage)
{
    TempDir dir;
    // step one: the digest and the bytes it was computed over, the slot fill
    RunResult one = convert(dir, with(LAYOUT, {"-signature", "r,at=_signature,size=64"}));
    ASSERT_EQ(one.status, 0) << one.err;
    const std::string digest = dir.read_bytes("image.sha");
    RunResult dgst = run_program(dir, {"openssl", "dgst", "-sha256", "-binary", "-out", "msg.sha", "image.msg"});
    ASSERT_EQ(dgst.status, 0) << dgst.err;
    EXPECT_EQ(dir.read_bytes("msg.sha"), digest);
    write_image(dir);
    const std::string image = dir.read_bytes("image.bin");
    EXPECT_EQ(dir.read_bytes("image.msg"), image.substr(0, 0xa0) + image.substr(0xe0, 0x1c));

    // the signer: an ECDSA P-256 key signs the digest, in DER
    for (const std::vector<std::string>& step :
         {std::vector<std::string>{"openssl", "ecparam", "-name", "prime256v1", "-genkey", "-noout", "-out", "key.pem"},
          {"openssl", "ec", "-in", "key.pem", "-pubout", "-out", "pub.pem"},
          {"openssl", "pkeyutl", "-sign", "-inkey", "key.pem", "-in", "image.sha", "-out", "sig.der"},
          {"openssl", "base64", "-in", "sig.der", "-out", "sig.b64"},
          {"cp", "image.sha", "signed.sha"}}) {
        RunResult r = run_program(dir, step);
        ASSERT_EQ(r.status, 0) << step[1] << ": " << r.err;
    }

    // step two: the signature in place, checked against the digest signed;
    // base64 text of the DER gives the same files
    RunResult two = convert(dir, with(LAYOUT, {"-signature", "r,at=_signature,size=64,file=sig.der,format=der,"
                                                             "digest=signed.sha"}));
    ASSERT_EQ(two.status, 0) << two.err;
    EXPECT_EQ(dir.read_bytes("image.sha"), digest);
    const std::string lo = dir.read_bytes("lo.hex"), hi = dir.read_bytes("hi.hex");
    RunResult text = convert(dir, with(LAYOUT, {"-signature", "r,at=0xa0,size=64,file=sig.b64,format=base64der"}));
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_EQ(dir.read_bytes("lo.hex"), lo);
    EXPECT_EQ(dir.read_bytes("hi.hex"), hi);

    write_image(dir);
    dir.write("check.py",
              "import zlib\n"
              "from cryptography.hazmat.primitives import hashes, serialization\n"
              "from cryptography.hazmat.primitives.asymmetric import ec, utils\n"
              "image = open('image.bin', 'rb').read()\n"
              "key = serialization.load_pem_public_key(open('pub.pem', 'rb').read())\n"
              "r, s = int.from_bytes(image[0xa0:0xc0], 'big'), int.from_bytes(image[0xc0:0xe0], 'big')\n"
              "key.verify(utils.encode_dss_signature(r, s), image[:0xa0] + image[0xe0:0xfc],\n"
              "           ec.ECDSA(hashes.SHA256()))\n"
              "assert zlib.crc32(image[:0xfc]) == int.from_bytes(image[0xfc:], 'big'), 'crc'\n"
              "print('verified')\n");
    RunResult check = run_program(dir, {"python3", "check.py"});
    EXPECT_EQ(check.out, "verified\n") << check.err;
}

TEST(Signing, BadRequestsAndStaleSignaturesWriteNothing)
{
    struct Case {
        std::vector<std::string> options;
        std::vector<std::pair<std::string, std::string>> files;  // written before the run
        std::string err;                                         // a part of the messages, unwrapped
    };
    const std::string der_prefix = "\x30\x43\x02\x20";
    const std::string long_r = std::string("\x30\x45\x02\x21\x01", 5) + std::string(32, '\x11') + "\x02\x20" +
                               std::string(32, '\x22');
    const Case cases[] = {
        {with(LAYOUT, {"-signature", "r,at=0xa0,size=64,digest=old.sha"}),
         {{"old.sha", std::string(64, '0') + "\n"}},
         "the digest of range r is "},
        {with(LAYOUT, {"-signature", "r,at=0xa0,size=64,digest=old.sha"}),
         {{"old.sha", "abc\n"}},
         "old.sha:1: neither the 32 bytes of the digest nor its 64 hex digits"},
        {{"-signature", "r,at=0xa0,size=64,file=sig.der,format=der"},
         {{"sig.der", "\x31\x02\x02\x00"}},
         "sig.der: byte 0 (0x31) of the DER signature: a SEQUENCE (0x30)"},
        {{"-signature", "r,at=0xa0,size=64,file=sig.der,format=der"},
         {{"sig.der", long_r}},
         "sig.der: r has 33 bytes, more than the 32 of half the slot"},
        {{"-signature", "r,at=0xa0,size=64,file=sig.der,format=der"},
         {{"sig.der", der_prefix + std::string(32, '\x11') + "\x02\x20" + std::string(31, '\x22')}},
         "sig.der: the DER signature's INTEGER s (0x02) holds 32 bytes, but 31 follow"},
        {{"-signature", "r,at=0xa0,size=64,file=sig.bin"},
         {{"sig.bin", std::string(65, '\x33')}},
         "sig.bin: a signature of 65 bytes is longer than its slot of 64"},
        {{"-signature", "r,at=0xa0,size=64,file=sig.b64,format=base64"},
         {{"sig.b64", "-----BEGIN SIGNATURE-----\nAAAA*AAA\n"}},
         "sig.b64:2: character 0x2a is not base64"},
        {{"-signature", "r,at=0xa0,size=63,file=sig.der,format=der"},
         {{"sig.der", ""}},
         "a DER signature's r and s take half the slot each: size=63 is odd"},
        {{"-signature", "r,at=0xa0,size=64,format=der"}, {}, "format= says how file= holds the signature: give file="},
        {{"-signature", "r,size=64"}, {}, "at= is required: the signature's slot"},
        {{"-signature", "r,at=0xa0,size=64", "-signature", "r,at=0x40,size=8"},
         {},
         "signatures 'r,at=0x40,size=8' and 'r,at=0xa0,size=64' are both in range 'r': a range takes one"},
        {{"-signature", "r,at=0xa0,size=64", "-checksum", "r,crc32,at=0xd0"},
         {},
         "signature 'r,at=0xa0,size=64' and checksum 'r,crc32,at=0xd0' have overlapping slots"},
        {{"-signature", "r,at=0x40,size=64"}, {}, "section '.text' would be placed in the signature slot at 0x00000040"},
        {{"-signature", "r,at=0xa0,size=64", "-digest", "r,out=d.sha", "-checksum", "r,crc32"},
         {},
         "checksum 'r,crc32' covers the slot of signature 'r,at=0xa0,size=64' and lies inside the span of digest "
         "'r,out=d.sha': placing the signature would change what is signed"},
        {{"-digest", "r,alg=crc32,out=d.sha"}, {}, "alg=crc32 is no digest (digests: sha1, sha256, sha512)"},
        {{"-digest", "r,message=m.bin"}, {}, "out= is required: the file the digest goes to"},
        {{"-digest", "r,out=d.sha,encoding=base64"}, {}, "malformed field 'encoding=base64': raw or hex"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        for (const auto& [name, content] : c.files)
            dir.write(name, content);
        RunResult r = convert(dir, c.options);
        SCOPED_TRACE(c.err);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(unwrapped(r.err).find(c.err), std::string::npos) << r.err;
        for (const char* name : {"lo.hex", "hi.hex", "image.sha", "image.msg", "d.sha", "m.bin"})
            EXPECT_FALSE(dir.exists(name)) << name;
    }
}

}  // namespace
