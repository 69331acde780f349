#pragma once
// The player's block layout: 8-bit unsigned, 16, 24 and 32-bit signed little-endian samples,
// converted from and to 32-bit left-aligned samples.

#include <cstdint>
#include <vector>

namespace varnolt::cli {

// Stores the top `bits` of v (truncated) at p.
void pack_block_sample(std::int32_t v, int bits, std::uint8_t* p);
std::int32_t unpack_block_sample(const std::uint8_t* p, int bits);

// Samples in blocks of `bits`: rounded to the nearest step (saturating) where bits drop.
std::vector<std::uint8_t> to_blocks(const std::vector<std::int32_t>& samples, int bits);
std::vector<std::int32_t> from_blocks(const std::vector<std::uint8_t>& bytes, int bits);

// Reduces left-aligned samples to their top `bits` as the plug-in stores its blocks: a
// rectangular dither of 0.00 .. 0.99 steps added, rounded down, saturated. Samples that already
// lie on the coarser steps stay as they are.
void reduce_with_dither(std::vector<std::int32_t>& samples, int bits);

}  // namespace varnolt::cli
