#include "plugin/sample_format.h"

#include <algorithm>
#include <cmath>

namespace varnolt {
namespace {

std::uint32_t assemble(const std::uint8_t* p, int bytes) {
    std::uint32_t u = 0;
    for (int b = 0; b < bytes; ++b) u |= static_cast<std::uint32_t>(p[b]) << (8 * b);
    return u;
}

void scatter(std::uint8_t* p, int bytes, std::uint32_t u) {
    for (int b = 0; b < bytes; ++b) p[b] = static_cast<std::uint8_t>(u >> (8 * b));
}

// Two's-complement value of the low `bits` bits of u.
double signed_value(std::uint32_t u, int bits) {
    const double full = std::ldexp(1.0, bits);
    const double half = std::ldexp(1.0, bits - 1);
    return u >= half ? static_cast<double>(u) - full : static_cast<double>(u);
}

}  // namespace

bool is_supported_width(int bits) {
    return bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

double round_half_even(double z) {
    const double lower = std::floor(z);
    const double diff = z - lower;
    if (diff > 0.5) return lower + 1.0;
    if (diff < 0.5) return lower;
    return std::fmod(lower, 2.0) == 0.0 ? lower : lower + 1.0;
}

double read_working_sample(const std::uint8_t* p, int bits) {
    switch (bits) {
        case 8:
            return (static_cast<double>(p[0]) - 128.0) * 256.0;
        case 16:
            return signed_value(assemble(p, 2), 16);
        case 24:
            return signed_value(assemble(p, 3), 24) / 256.0;
        default:
            return signed_value(assemble(p, 4), 32) / 65536.0;
    }
}

void write_working_sample(std::uint8_t* p, int bits, double y, double d) {
    // A NaN has no nearer limit; store the silence it most likely stands for.
    if (std::isnan(y)) y = 0.0;
    switch (bits) {
        case 8: {
            const double z = std::clamp(y / 256.0 - 0.5 + d, -128.0, 127.0) + 128.0;
            p[0] = static_cast<std::uint8_t>(round_half_even(z));
            break;
        }
        case 16: {
            const double z = std::clamp(y - 0.5 + d, -32768.0, 32767.0);
            const int v = static_cast<int>(round_half_even(z));
            scatter(p, 2, static_cast<std::uint32_t>(v));
            break;
        }
        default: {
            const int bytes = bits / 8;
            const double limit = std::ldexp(1.0, bits - 1);
            const double z =
                std::trunc(std::clamp(y * std::ldexp(1.0, bits - 16) + d, -limit, limit - 1.0));
            const auto v = static_cast<std::int64_t>(z);
            scatter(p, bytes, static_cast<std::uint32_t>(v));
            break;
        }
    }
}

}  // namespace varnolt
