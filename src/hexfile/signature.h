// Reading what a signer gives back: a signature (its bytes as they are, an
// ECDSA signature in DER, either in base64 text) and a signed digest (its
// bytes, or hex digits). The files come from outside the build and are
// untrusted: every byte is checked and every error names file:line (the line
// of a text file; line 1 and the byte's offset in a binary one).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/diagnostics.h"

namespace khex {

enum SignatureFormat {
    SIGNATURE_RAW,         // the bytes as they are
    SIGNATURE_DER,         // SEQUENCE { INTEGER r, INTEGER s }: r then s, each size / 2 bytes
    SIGNATURE_BASE64,      // base64 text of the bytes
    SIGNATURE_BASE64_DER,  // base64 text of a DER signature
};

// A format's word ("raw", "der", "base64", "base64der"), a word's format (-1
// when none has it), and every word for messages.
const char* signature_format_name(int format);
int signature_format_of(const std::string& word);
std::string signature_format_names();

// The largest signature slot khex takes, in bytes.
constexpr uint32_t MAX_SIGNATURE_BYTES = 4096;

// What is wrong with a file: the line (1 in a binary file) and the text.
struct SignatureError {
    uint32_t line = 1;
    std::string text;
};

// The signature of a file's bytes for a slot of size bytes: at most size
// bytes, r and s of a DER signature each size / 2 bytes with zeros on the
// left. False with the error.
bool decode_signature(const uint8_t* data, size_t n, int format, uint32_t size, std::vector<uint8_t>& out,
                      SignatureError& error);

// A digest of width bytes: the file holds the bytes, or their hex digits in
// either case (blanks and line ends around them allowed). False with the
// error.
bool decode_signed_digest(const uint8_t* data, size_t n, uint32_t width, std::vector<uint8_t>& out,
                          SignatureError& error);

// The two read from a file: every problem is an ERROR naming file:line.
bool read_signature_file(const std::string& name, int format, uint32_t size, std::vector<uint8_t>& out,
                         Diagnostics& d);
bool read_signed_digest_file(const std::string& name, uint32_t width, std::vector<uint8_t>& out, Diagnostics& d);

}  // namespace khex
