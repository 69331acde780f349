#pragma once
// The host's packed PCM layouts and their conversion to and from the working scale (a double in
// signed 16-bit units, full scale +-32768).

#include <cstdint>

namespace varnolt {

// Whether `bits` is one of the widths the plug-in converts (8, 16, 24, 32).
bool is_supported_width(int bits);

// Reads the sample at `p` (bits / 8 bytes, little-endian; 8-bit is unsigned) in working scale.
double read_working_sample(const std::uint8_t* p, int bits);

// Stores chain output y with dither d (0.00 .. 0.99), in the format's steps: y + d rounded
// down, saturated to the format's range. A value the format holds exactly is stored as it is.
// Returns whether y was clipped: beyond the format's range by more than one step (full scale,
// one step above the largest value, is only rounded to it).
bool write_working_sample(std::uint8_t* p, int bits, double y, double d);

}  // namespace varnolt
