// The record writer of each output format.
#pragma once
#include "output/stream.h"

namespace khex {

void debug_writer(int op, OutputStream& stream, const uint8_t* data, int nbytes);
void intel_writer(int op, OutputStream& stream, const uint8_t* data, int nbytes);
void motorola_writer(int op, OutputStream& stream, const uint8_t* data, int nbytes);
void zq_tagged_writer(int op, OutputStream& stream, const uint8_t* data, int nbytes);
void tektronix_writer(int op, OutputStream& stream, const uint8_t* data, int nbytes);
void ascii_hex_writer(int op, OutputStream& stream, const uint8_t* data, int nbytes);
void generic_writer(int op, OutputStream& stream, const uint8_t* data, int nbytes);
void binary_writer(int op, OutputStream& stream, const uint8_t* data, int nbytes);

}  // namespace khex
