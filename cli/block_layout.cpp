#include "block_layout.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>

namespace varnolt::cli {

void pack_block_sample(std::int32_t v, int bits, std::uint8_t* p) {
    if (bits == 8) {
        p[0] = static_cast<std::uint8_t>((v >> 24) + 128);
        return;
    }
    const std::uint32_t u = static_cast<std::uint32_t>(v) >> (32 - bits);
    for (int b = 0; b < bits / 8; ++b) p[b] = static_cast<std::uint8_t>(u >> (8 * b));
}

std::int32_t unpack_block_sample(const std::uint8_t* p, int bits) {
    if (bits == 8) return static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0] - 128) << 24);
    std::uint32_t u = 0;
    for (int b = 0; b < bits / 8; ++b) u |= static_cast<std::uint32_t>(p[b]) << (8 * b);
    return static_cast<std::int32_t>(u << (32 - bits));
}

std::vector<std::uint8_t> to_blocks(const std::vector<std::int32_t>& samples, int bits) {
    const int width = bits / 8;
    const std::int64_t half_step = bits < 32 ? std::int64_t{1} << (31 - bits) : 0;
    std::vector<std::uint8_t> bytes(samples.size() * width);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        std::int64_t v = static_cast<std::int64_t>(samples[i]) + half_step;
        if (v > INT32_MAX) v = INT32_MAX;
        pack_block_sample(static_cast<std::int32_t>(v), bits, &bytes[i * width]);
    }
    return bytes;
}

std::vector<std::int32_t> from_blocks(const std::vector<std::uint8_t>& bytes, int bits) {
    const int width = bits / 8;
    std::vector<std::int32_t> samples(bytes.size() / width);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = unpack_block_sample(&bytes[i * width], bits);
    return samples;
}

void reduce_with_dither(std::vector<std::int32_t>& samples, int bits) {
    if (bits >= 32) return;
    const double step = static_cast<double>(std::int64_t{1} << (32 - bits));
    const double highest = static_cast<double>((std::int64_t{1} << (bits - 1)) - 1);
    const double lowest = -highest - 1.0;
    // Its own generator with a fixed start: the same file gives the same output every run.
    std::minstd_rand generator(1);
    for (std::int32_t& v : samples) {
        const double d = static_cast<double>(generator() % 100) / 100.0;
        const double q = std::clamp(std::floor(v / step + d), lowest, highest);
        v = static_cast<std::int32_t>(q * step);
    }
}

}  // namespace varnolt::cli
