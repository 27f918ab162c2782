#include "output/writers.h"

namespace khex {

void debug_writer(int, OutputStream&, const uint8_t*, int) {}
void intel_writer(int, OutputStream&, const uint8_t*, int) {}
void motorola_writer(int, OutputStream&, const uint8_t*, int) {}
void zq_tagged_writer(int, OutputStream&, const uint8_t*, int) {}
void tektronix_writer(int, OutputStream&, const uint8_t*, int) {}
void ascii_hex_writer(int, OutputStream&, const uint8_t*, int) {}
void generic_writer(int, OutputStream&, const uint8_t*, int) {}
void binary_writer(int, OutputStream&, const uint8_t*, int) {}

}  // namespace khex
