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

std::int32_t left_aligned(double x) {
    if (std::isnan(x)) return 0;
    const double v = std::clamp(std::round(x * k_left_aligned_full_scale),
                                -k_left_aligned_full_scale, k_left_aligned_full_scale - 1.0);
    return static_cast<std::int32_t>(v);
}

DitherReducer::DitherReducer(int bits)
    : steps_(std::ldexp(1.0, bits - 1)), highest_(std::ldexp(1.0, bits - 1) - 1.0) {}

long long DitherReducer::reduce(double* samples, std::size_t count) {
    long long clipped = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const double d = static_cast<double>(generator_() % 100) / 100.0;
        const double v = std::isnan(samples[i]) ? 0.0 : samples[i] * steps_;
        const double q = std::clamp(std::floor(v + d), -steps_, highest_);
        clipped += std::fabs(q - v) > 1.0;
        samples[i] = q / steps_;
    }
    return clipped;
}

}  // namespace varnolt::cli
