#include "dolby_b_points.h"

#include <cmath>
#include <vector>

namespace varnolt_tools {

const DolbyBTestPoint k_dolby_b_points[k_dolby_b_test_points] = {
    {1300, -20, -15.7, -17.2, -14.2},  {2500, -20, -15.9, -17.4, -14.4},
    {3000, -30, -21.2, -22.7, -19.7},  {5000, -30, -21.8, -23.3, -20.3},
    {10000, 0, 0.5, -1.0, 2.0},        {10000, -40, -29.6, -31.1, -28.1},
    {14000, -30, -23.9, -25.4, -22.4},
};

const double k_dolby_b_rates[k_dolby_b_test_rates] = {44100, 48000, 96000};

namespace {
constexpr double k_pi = 3.14159265358979323846;
constexpr double k_settle_seconds = 0.6;
constexpr double k_measure_seconds = 0.1;
// Dolby level in these measurements: any level gives the same figures, as the model scales.
constexpr double k_reference = 0.25;

// The level of `x` at `hz` over whole periods from `first`, dB re the reference.
double level_at(const std::vector<double>& x, std::size_t first, double rate, double hz) {
    const double periods = std::ceil(k_measure_seconds * hz);
    const auto count = static_cast<std::size_t>(std::lround(periods * rate / hz));
    double s = 0, c = 0;
    for (std::size_t n = first; n < first + count && n < x.size(); ++n) {
        const double phase = 2 * k_pi * hz * static_cast<double>(n) / rate;
        s += x[n] * std::sin(phase);
        c += x[n] * std::cos(phase);
    }
    const double amplitude = 2 * std::hypot(s, c) / static_cast<double>(count);
    return 20 * std::log10(amplitude / k_reference);
}

std::vector<double> tone(double rate, double hz, double input_db, std::size_t& settle) {
    settle = static_cast<std::size_t>(k_settle_seconds * rate);
    const std::size_t total = settle + static_cast<std::size_t>(2 * k_measure_seconds * rate);
    const double amplitude = k_reference * std::pow(10.0, input_db / 20);
    std::vector<double> x(total);
    for (std::size_t n = 0; n < total; ++n)
        x[n] = amplitude * std::sin(2 * k_pi * hz * static_cast<double>(n) / rate);
    return x;
}
}  // namespace

namespace {
// The tone through one direction of the network, `decode` or not, measured after settling.
double tone_through_db(const varnolt::DolbyBDesign& design, double rate, double hz, double input_db,
                       bool decode) {
    std::size_t settle = 0;
    std::vector<double> x = tone(rate, hz, input_db, settle);
    const varnolt::DolbyBCoefficients c = varnolt::dolby_b_coefficients(design, rate, k_reference);
    varnolt::DolbyBChannel channel;
    for (double& v : x)
        v = decode ? varnolt::dolby_b_decode(c, channel, v)
                   : varnolt::dolby_b_encode(c, channel, v);
    return level_at(x, settle, rate, hz);
}
}  // namespace

double encoded_tone_db(const varnolt::DolbyBDesign& design, double rate, double hz,
                       double input_db) {
    return tone_through_db(design, rate, hz, input_db, false);
}

double decoded_tone_db(const varnolt::DolbyBDesign& design, double rate, double hz,
                       double input_db) {
    return tone_through_db(design, rate, hz, input_db, true);
}

}  // namespace varnolt_tools
