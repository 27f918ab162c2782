// What the fuzz targets run: the harness of the libFuzzer targets.
#pragma once
#include <cstddef>
#include <cstdint>

namespace khexfuzz {

// Makes a fresh scratch directory the working directory; every run writes
// only there.
void enter_scratch_directory();

// A whole run on a COFF file made of the input after its first four bytes,
// which choose the output format, widths, byte order, image mode, -zero, boot
// loading, the revision, a map file, its picture, the JSON report, a
// dependency file and a checksum. Returns the run's exit status.
int run_coff_input(const uint8_t* data, size_t size);

// The same on an ELF file: the input's bytes 4 to 7 stand for the ELF magic,
// and a set top bit of the second byte adds -addrunit 16.
int run_elf_input(const uint8_t* data, size_t size);

// Parses the input as a command file and resolves the ROM ranges. Returns the
// exit status the driver would have at that point. Inputs that hold a path
// separator are not run (-1): they could name files outside the scratch
// directory.
int run_command_file_input(const uint8_t* data, size_t size);

// Reads the input after its first byte as a hex file, in the format that
// byte chooses (or the one found from the contents), and every extent's
// bytes in two parts; a first byte of 0xF0 or more chooses a signature form
// or a signed digest instead, one from 0xE0 to 0xEF a lot file. Returns 0 when the reader accepted it, 1
// otherwise.
int run_hex_input(const uint8_t* data, size_t size);

// A whole run of the bundled example with the input after its first byte as
// an inserted file, or as a device's read-back to verify; that byte chooses
// which, the format the file is read as, image mode and a checksum. Returns
// the run's exit status.
int run_insert_input(const uint8_t* data, size_t size);

}  // namespace khexfuzz
