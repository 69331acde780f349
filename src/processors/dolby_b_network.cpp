#include "processors/dolby_b_network.h"

#include <algorithm>
#include <cmath>

namespace varnolt {

namespace {
constexpr double k_pi = 3.14159265358979323846;
// The sliding filter's integrator gain is held below this: a corner far above the Nyquist
// frequency already passes nothing, and the bound keeps a huge input from making it infinite.
constexpr double k_largest_integrator = 1e6;
constexpr double k_smallest_dolby_level = 1e-12;
constexpr int k_largest_slide_power = 8;

double smoothing(double seconds, double rate) {
    return 1.0 - std::exp(-1.0 / (seconds * rate));
}

double finite_or(double value, double fallback) {
    return std::isfinite(value) ? value : fallback;
}
}  // namespace

DolbyBCoefficients dolby_b_coefficients(const DolbyBDesign& design, double rate,
                                        double dolby_level) {
    rate = std::max(finite_or(rate, k_dolby_b_lowest_rate), k_dolby_b_lowest_rate);
    dolby_level = std::max(finite_or(dolby_level, 1.0), k_smallest_dolby_level);
    DolbyBCoefficients c;
    c.side_gain = std::pow(10.0, design.max_lift_db / 20.0) - 1.0;
    // Both filters are analog prototypes through the bilinear transform, warped alike so that
    // they agree with the analog network exactly at k_dolby_b_prewarp_hz, in the middle of the
    // treble the slide works in; a warp of its own at each filter's corner would bend the two
    // apart, and differently at each rate.
    // At the lowest rates the agreement moves down to a quarter of the rate, below Nyquist.
    const double prewarp_hz = std::min(k_dolby_b_prewarp_hz, rate / 4.0);
    const double per_hz = std::tan(k_pi * prewarp_hz / rate) / prewarp_hz;
    c.rest_integrator = per_hz * design.rest_corner_hz;
    c.control_integrator = per_hz * design.control_corner_hz;
    c.control_gain = 1.0 / (1.0 + c.control_integrator);
    c.control_shelf = std::pow(10.0, design.control_shelf_db / 20.0) - 1.0;
    c.threshold = dolby_level * std::pow(10.0, design.threshold_db / 20.0);
    c.inverse_threshold = 1.0 / c.threshold;
    c.slide_power = std::clamp(design.slide_power, 1, k_largest_slide_power);
    // The corner moves on the scale of the filter's integrator gain, which follows the analog
    // corner frequency with the warp of the bilinear transform set at the rest corner: a corner
    // beyond the Nyquist frequency still means what it means in an analog circuit.
    c.highest_integrator = std::min(c.rest_integrator * design.widest_slide, k_largest_integrator);
    c.attack = smoothing(design.attack_seconds, rate);
    c.decay = smoothing(design.decay_seconds, rate);
    return c;
}

double dolby_b_slide_integrator(const DolbyBCoefficients& c, const DolbyBChannel& channel) {
    const double over = channel.level * c.inverse_threshold;
    if (!(over > 1.0)) return c.rest_integrator;
    // A whole power by repeated squaring: this runs for every sample of loud treble, where a
    // pow() would cost more than the rest of the decoder.
    double slide = 1.0, square = over;
    for (int p = c.slide_power; p > 0; p >>= 1) {
        if (p & 1) slide *= square;
        square *= square;
    }
    return std::min(c.rest_integrator * slide, c.highest_integrator);
}

}  // namespace varnolt
