#include "block_layout.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

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

void pack_block(const std::int32_t* samples, std::size_t count, int bits, std::uint8_t* bytes) {
    const int width = bits / 8;
    const std::int64_t half_step = bits < 32 ? std::int64_t{1} << (31 - bits) : 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::int64_t v =
            std::min<std::int64_t>(static_cast<std::int64_t>(samples[i]) + half_step, INT32_MAX);
        pack_block_sample(static_cast<std::int32_t>(v), bits, &bytes[i * width]);
    }
}

void unpack_block(const std::uint8_t* bytes, std::size_t count, int bits, std::int32_t* samples) {
    const int width = bits / 8;
    for (std::size_t i = 0; i < count; ++i)
        samples[i] = unpack_block_sample(&bytes[i * width], bits);
}

DitherReducer::DitherReducer(int bits) : bits_(bits) {}

void DitherReducer::reduce(std::int32_t* samples, std::size_t count) {
    if (bits_ >= 32) return;
    const double step = static_cast<double>(std::int64_t{1} << (32 - bits_));
    const double highest = static_cast<double>((std::int64_t{1} << (bits_ - 1)) - 1);
    const double lowest = -highest - 1.0;
    for (std::size_t i = 0; i < count; ++i) {
        const double d = static_cast<double>(generator_() % 100) / 100.0;
        const double q = std::clamp(std::floor(samples[i] / step + d), lowest, highest);
        samples[i] = static_cast<std::int32_t>(q * step);
    }
}

}  // namespace varnolt::cli
