#pragma once
// The host's packed PCM layouts and their conversion to and from the working scale (a double in
// signed 16-bit units, full scale +-32768).

#include <cstdint>

namespace varnolt {

// Whether `bits` is one of the widths the plug-in converts (8, 16, 24, 32).
bool is_supported_width(int bits);

// Reads the sample at `p` (bits / 8 bytes, little-endian; 8-bit is unsigned) in working scale.
double read_working_sample(const std::uint8_t* p, int bits);

// Stores chain output y with dither d (0.00 .. 0.99): rounded to nearest, ties to even, for 8
// and 16 bits; truncated toward zero for 24 and 32; saturated to the format's range.
void write_working_sample(std::uint8_t* p, int bits, double y, double d);

// Rounds to the nearest integer, halfway cases to the even neighbour, whatever the thread's
// rounding mode.
double round_half_even(double z);

}  // namespace varnolt
