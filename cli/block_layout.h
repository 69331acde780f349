#pragma once
// The player's block layout: 8-bit unsigned, 16, 24 and 32-bit signed little-endian samples,
// converted from and to 32-bit left-aligned samples; and those from and to the tool's samples,
// doubles of full scale 1.0.

#include <cstddef>
#include <cstdint>
#include <random>

namespace varnolt::cli {

// x · 2^31, saturated (NaN as 0): exact for every value an integer file holds.
std::int32_t left_aligned(double x);
constexpr double k_left_aligned_full_scale = 2147483648.0;

// Stores the top `bits` of v (truncated) at p.
void pack_block_sample(std::int32_t v, int bits, std::uint8_t* p);
std::int32_t unpack_block_sample(const std::uint8_t* p, int bits);

// `count` samples into a block of `bits`: rounded to the nearest step (saturating) where bits
// drop. And back.
void pack_block(const std::int32_t* samples, std::size_t count, int bits, std::uint8_t* bytes);
void unpack_block(const std::uint8_t* bytes, std::size_t count, int bits, std::int32_t* samples);

// Reduces samples to the steps of a `bits`-wide integer format as the plug-in stores its blocks:
// a rectangular dither of 0.00 .. 0.99 steps added, rounded down, saturated. Samples that already
// lie on the coarser steps stay as they are. The dither runs on from one call to the next, so a
// file reduced a block at a time is the file reduced whole.
class DitherReducer {
  public:
    explicit DitherReducer(int bits);
    // Returns how many samples lay beyond the format's range by more than one step: clipped,
    // not just rounded to its last step (full scale, +1.0, is one step above the largest value).
    long long reduce(double* samples, std::size_t count);

  private:
    double steps_;    // 2^(bits - 1): steps per full scale
    double highest_;  // the largest value in steps
    // Its own generator with a fixed start: the same file gives the same output every run.
    std::minstd_rand generator_{1};
};

}  // namespace varnolt::cli
