// Fits the Dolby B model's design constants to the published encode test points, forwards and
// read backwards by the decoder, at 44.1, 48 and 96 kHz at once (Nelder-Mead on the worst error,
// then the sum of squares), the time constants held as chosen. Prints the design and each point's
// error. Run once when the model changes; the result is written into
// src/processors/dolby_b_design.cpp by hand.
//
//   varnolt_dolby_fit [max_lift_db rest_corner_hz threshold_db control_corner_hz slide_power
//                      control_shelf_db widest_slide]

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "dolby_b_points.h"

using varnolt::DolbyBDesign;
using namespace varnolt_tools;

namespace {

constexpr int k_free = 7;
using Vector = std::array<double, k_free>;

DolbyBDesign design_of(const Vector& v) {
    DolbyBDesign d = varnolt::k_dolby_b_design;
    d.max_lift_db = v[0];
    d.rest_corner_hz = std::exp(v[1]);
    d.threshold_db = v[2];
    d.control_corner_hz = std::exp(v[3]);
    d.slide_power = static_cast<int>(std::lround(std::clamp(v[4], 1.0, 8.0)));
    d.control_shelf_db = v[5];
    d.widest_slide = std::exp(v[6]);
    return d;
}

double cost(const Vector& v) {
    const DolbyBDesign d = design_of(v);
    if (d.max_lift_db < 8 || d.max_lift_db > 12 ||
        d.rest_corner_hz < 800 || d.rest_corner_hz > 2500 || d.control_corner_hz > 20000 ||
        d.control_shelf_db < 0 || d.control_shelf_db > 30 || d.widest_slide < 2 ||
        d.widest_slide > 1000)
        return 1e9;
    double worst = 0, squares = 0;
    for (double rate : k_dolby_b_rates)
        for (const DolbyBTestPoint& p : k_dolby_b_points) {
            // Both ways: the encoder's output against the typical value, and the decoder's
            // output for the typical value against the point's input. Where the law compresses
            // steeply a small error forwards is a large one backwards.
            const double e = encoded_tone_db(d, rate, p.hz, p.input_db) - p.output_typical_db;
            const double b = decoded_tone_db(d, rate, p.hz, p.output_typical_db) - p.input_db;
            worst = std::max({worst, std::fabs(e), std::fabs(b)});
            squares += e * e + b * b;
        }
    return worst + 0.1 * std::sqrt(squares / (2 * k_dolby_b_test_rates * k_dolby_b_test_points));
}

Vector nelder_mead(Vector start, int iterations) {
    std::array<Vector, k_free + 1> p;
    std::array<double, k_free + 1> f;
    const Vector step = {0.5, 0.2, 4, 0.5, 0.5, 3, 0.5};
    for (int i = 0; i <= k_free; ++i) {
        p[i] = start;
        if (i > 0) p[i][i - 1] += step[i - 1];
        f[i] = cost(p[i]);
    }
    for (int it = 0; it < iterations; ++it) {
        std::array<int, k_free + 1> order;
        for (int i = 0; i <= k_free; ++i) order[i] = i;
        std::sort(order.begin(), order.end(), [&](int a, int b) { return f[a] < f[b]; });
        const int best = order[0], worst = order[k_free], second = order[k_free - 1];
        Vector centre{};
        for (int i = 0; i <= k_free; ++i)
            if (i != worst)
                for (int j = 0; j < k_free; ++j) centre[j] += p[i][j] / k_free;
        auto along = [&](double t) {
            Vector v;
            for (int j = 0; j < k_free; ++j) v[j] = centre[j] + t * (p[worst][j] - centre[j]);
            return v;
        };
        const Vector r = along(-1);
        const double fr = cost(r);
        if (fr < f[best]) {
            const Vector e = along(-2);
            const double fe = cost(e);
            if (fe < fr)
                p[worst] = e, f[worst] = fe;
            else
                p[worst] = r, f[worst] = fr;
        } else if (fr < f[second]) {
            p[worst] = r, f[worst] = fr;
        } else {
            const Vector c = along(0.5);
            const double fc = cost(c);
            if (fc < f[worst]) {
                p[worst] = c, f[worst] = fc;
            } else {
                for (int i = 0; i <= k_free; ++i)
                    if (i != best) {
                        for (int j = 0; j < k_free; ++j) p[i][j] = (p[i][j] + p[best][j]) / 2;
                        f[i] = cost(p[i]);
                    }
            }
        }
        if (it % 50 == 0) std::fprintf(stderr, "%d %.4f\n", it, f[best]);
    }
    int best = 0;
    for (int i = 1; i <= k_free; ++i)
        if (f[i] < f[best]) best = i;
    return p[best];
}

}  // namespace

int main(int argc, char** argv) {
    const DolbyBDesign d0 = varnolt::k_dolby_b_design;
    Vector v = {d0.max_lift_db,           std::log(d0.rest_corner_hz),
                d0.threshold_db,          std::log(d0.control_corner_hz),
                static_cast<double>(d0.slide_power), d0.control_shelf_db,
                std::log(d0.widest_slide)};
    if (argc == 8) {
        v = {std::atof(argv[1]),           std::log(std::atof(argv[2])), std::atof(argv[3]),
             std::log(std::atof(argv[4])), std::atof(argv[5]),           std::atof(argv[6]),
             std::log(std::atof(argv[7]))};
    }
    for (int round = 0; round < 3; ++round) v = nelder_mead(v, 300);
    const DolbyBDesign d = design_of(v);
    std::printf(
        "max_lift_db %.4f rest_corner_hz %.2f threshold_db %.3f control_corner_hz %.1f "
        "slide_power %d control_shelf_db %.3f widest_slide %.2f (cost %.4f)\n",
        d.max_lift_db, d.rest_corner_hz, d.threshold_db, d.control_corner_hz, d.slide_power,
        d.control_shelf_db, d.widest_slide, cost(v));
    for (double rate : k_dolby_b_rates)
        for (const DolbyBTestPoint& p : k_dolby_b_points)
            std::printf("%6.0f Hz  %5.0f Hz %4.0f dB -> %6.2f dB (typical %6.1f); back %6.2f\n",
                        rate, p.hz, p.input_db, encoded_tone_db(d, rate, p.hz, p.input_db),
                        p.output_typical_db, decoded_tone_db(d, rate, p.hz, p.output_typical_db));
}
