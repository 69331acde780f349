#include "ui/colour_ramps.h"

#include <cmath>

namespace varnolt {
namespace {

// pi/2 to ten decimals, exactly as the ramps were first drawn.
constexpr double k_quarter_turn = 1.5707963268;

// A colour component: compressed by 1.1 and lifted by 16, low byte kept.
std::uint32_t component(double v) {
    double scaled = std::trunc(v / 1.1 + 16.0);
    return static_cast<std::uint32_t>(static_cast<int>(scaled)) & 0xFFu;
}

std::uint32_t pack(std::uint32_t c2, std::uint32_t c1, std::uint32_t c0) {
    return (c2 << 16) | (c1 << 8) | c0;
}

std::uint32_t* row(std::uint32_t* table, int r) {
    return table + r * k_colour_ramp_entries;
}

}  // namespace

void fill_colour_ramps(std::uint32_t* table) {
    for (int i = 0; i < k_colour_ramp_entries; ++i) {
        const double f = i / 255.0;

        // Rows 0 and 1: green through yellow to red; row 1 has a straight green falloff.
        double c0, c1, c2, c1_straight;
        if (f < 0.5) {
            const double m = 2.0 * f;
            c0 = 90.0 - 15.0 * m;
            c1 = 225.0 - 50.0 * m;
            c2 = 175.0 * std::sin(m * k_quarter_turn) + 50.0;
            c1_straight = c1;
        } else {
            const double m = 2.0 * (f - 0.5);
            c0 = 50.0 * m + 75.0;
            c1 = 175.0 - 100.0 * (1.0 - std::sin((1.0 - m) * k_quarter_turn));
            c2 = 25.0 * m + 225.0;
            c1_straight = 175.0 - 100.0 * m;
        }
        row(table, 0)[i] = pack(component(c2), component(c1), component(c0));
        row(table, 1)[i] = pack(component(c2), component(c1_straight), component(c0));

        // Row 3: yellow fading to red over the upper half.
        const int g = i < 128 ? 255 : static_cast<int>(191.0 - 1.5 * (i - 128));
        row(table, 3)[i] = 0xFF0000u + static_cast<std::uint32_t>(g) * 256u;

        // Row 2 runs backwards; its entry 0 is never written.
        if (i >= 1)
            row(table, 2)[255 - i] =
                0x3D00F7u + component(250.0 * std::sin(f * k_quarter_turn)) * 256u;

        // Row 4: magenta towards white.
        row(table, 4)[i] = 0xFF00FFu + static_cast<std::uint32_t>(i / 2) * 256u;
    }
}

}  // namespace varnolt
