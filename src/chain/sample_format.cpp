#include "chain/sample_format.h"

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

bool write_working_sample(std::uint8_t* p, int bits, double y, double d) {
    // A NaN has no nearer limit; store the silence it most likely stands for.
    if (std::isnan(y)) y = 0.0;
    // The dither d (0.00 .. 0.99) is added and the sum rounded down: what the format holds
    // exactly comes back unchanged, and the rest lands on either neighbour in proportion to its
    // nearness. (Rounding y - 0.5 + d half to even moved a whole odd value one step down at
    // d = 0, and cutting negative values toward zero moved them one step up at every d > 0:
    // errors of one sign with every stage off.)
    switch (bits) {
        case 8: {
            const double v = y / 256.0;
            const double z = std::clamp(std::floor(v + d), -128.0, 127.0);
            p[0] = static_cast<std::uint8_t>(z + 128.0);
            return std::fabs(z - v) > 1.0;
        }
        case 16: {
            const double z = std::clamp(std::floor(y + d), -32768.0, 32767.0);
            scatter(p, 2, static_cast<std::uint32_t>(static_cast<int>(z)));
            return std::fabs(z - y) > 1.0;
        }
        default: {
            const int bytes = bits / 8;
            const double limit = std::ldexp(1.0, bits - 1);
            const double v = y * std::ldexp(1.0, bits - 16);
            const double z = std::clamp(std::floor(v + d), -limit, limit - 1.0);
            scatter(p, bytes, static_cast<std::uint32_t>(static_cast<std::int64_t>(z)));
            return std::fabs(z - v) > 1.0;
        }
    }
}

}  // namespace varnolt
