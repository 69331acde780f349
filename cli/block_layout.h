#pragma once
// The player's block layout: 8-bit unsigned, 16, 24 and 32-bit signed little-endian samples,
// converted from and to 32-bit left-aligned samples.

#include <cstddef>
#include <cstdint>
#include <random>

namespace varnolt::cli {

// Stores the top `bits` of v (truncated) at p.
void pack_block_sample(std::int32_t v, int bits, std::uint8_t* p);
std::int32_t unpack_block_sample(const std::uint8_t* p, int bits);

// `count` samples into a block of `bits`: rounded to the nearest step (saturating) where bits
// drop. And back.
void pack_block(const std::int32_t* samples, std::size_t count, int bits, std::uint8_t* bytes);
void unpack_block(const std::uint8_t* bytes, std::size_t count, int bits, std::int32_t* samples);

// Reduces left-aligned samples to their top `bits` as the plug-in stores its blocks: a
// rectangular dither of 0.00 .. 0.99 steps added, rounded down, saturated. Samples that already
// lie on the coarser steps stay as they are. The dither runs on from one call to the next, so a
// file reduced a block at a time is the file reduced whole.
class DitherReducer {
  public:
    explicit DitherReducer(int bits);
    void reduce(std::int32_t* samples, std::size_t count);

  private:
    int bits_;
    // Its own generator with a fixed start: the same file gives the same output every run.
    std::minstd_rand generator_{1};
};

}  // namespace varnolt::cli
