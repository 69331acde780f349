// Both Dolby B decoders against the published Dolby B decode points: the encode test points read
// backwards (a tone at the encoder's typical output level goes in; the point's input level should
// come out). Each point is a fresh instance with only the remover on, three seconds of steady
// tone, measured at the tone's frequency over the last second, with Dolby level where "PC
// Recording Volume" 1 puts it.
//
//   varnolt_dolby_points [fit]
//
// With "fit", it also sweeps "PC Recording Volume" for the table remover in steps of 0.01 and
// prints the RMS and worst error of each value near the best: the fit behind the level rule.

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "chain/chain.h"
#include "chain/instance.h"
#include "level/dolby_level.h"
#include "processors/dolby_b_network.h"

namespace {

constexpr double k_full_scale = 32768.0;
constexpr double k_two_pi = 6.283185307179586;
constexpr double k_seconds = 3.0;
constexpr double k_measured_seconds = 1.0;

struct DecodePoint {
    double hz;
    double encoded_db;   // re Dolby level: the encoder's typical output, the decoder's input
    double expected_db;  // the encoder's input, what the decoder should give back
};

const DecodePoint k_points[] = {{1300, -15.7, -20}, {2500, -15.9, -20}, {3000, -21.2, -30},
                                {5000, -21.8, -30}, {10000, 0.5, 0},    {10000, -29.6, -40},
                                {14000, -23.9, -30}};
const double k_rates[] = {44100, 48000, 96000};

// The level at `hz` of the chain's output re Dolby level, for a tone at `level_db` re Dolby
// level, Dolby level at `dolby_dbfs`.
double decoded_db(bool standard, double rate, const DecodePoint& p, double volume) {
    auto instance = std::make_unique<varnolt::Instance>();
    varnolt::create_processors(*instance);
    varnolt::Settings& values = instance->live.values;
    values.dolby_enabled = 1;
    values.bias_enabled = 0;
    values.standard_decoder = standard ? 1 : 0;
    values.pc_recording_volume = volume;
    instance->live.azimuth_enabled = 0;
    const double dolby = k_full_scale * std::pow(10.0, varnolt::k_dolby_level_at_unity_dbfs / 20);
    const double amplitude = dolby * std::pow(10.0, p.encoded_db / 20);
    const auto frames = static_cast<std::size_t>(k_seconds * rate);
    const auto measured =
        static_cast<std::size_t>(std::round(std::floor(k_measured_seconds * p.hz) * rate / p.hz));
    double s = 0, c = 0;
    for (std::size_t n = 0; n < frames; ++n) {
        const double x = amplitude * std::sin(k_two_pi * p.hz * n / rate);
        const double y = varnolt::chain_sample(*instance, x, rate);
        varnolt::chain_sample(*instance, x, rate);
        if (n >= frames - measured) {
            s += y * std::sin(k_two_pi * p.hz * n / rate);
            c += y * std::cos(k_two_pi * p.hz * n / rate);
        }
    }
    return 20 * std::log10(2 * std::hypot(s, c) / measured / dolby);
}

struct Errors {
    double rms = 0, worst = 0;
};

Errors errors_at(bool standard, double rate, double volume, bool print) {
    Errors e;
    for (const DecodePoint& p : k_points) {
        const double out = decoded_db(standard, rate, p, volume);
        const double error = out - p.expected_db;
        if (print)
            std::printf("  %6.0f Hz at %6.1f dB -> %7.2f dB (point %4.0f, error %+.2f)\n", p.hz,
                        p.encoded_db, out, p.expected_db, error);
        e.rms += error * error;
        if (std::fabs(error) > std::fabs(e.worst)) e.worst = error;
    }
    e.rms = std::sqrt(e.rms / (sizeof k_points / sizeof k_points[0]));
    return e;
}

// The encoder's lift on a 4 kHz tone that rises from -50 to -10 dB re Dolby level for 100 ms,
// by millisecond around the rise and the fall (output over input, RMS over each millisecond).
void print_tone_burst(double rate) {
    const double dolby = 0.1;
    const varnolt::DolbyBCoefficients c =
        varnolt::dolby_b_coefficients(varnolt::k_dolby_b_design, rate, dolby);
    varnolt::DolbyBChannel channel;
    const auto ms = static_cast<std::size_t>(rate / 1000);
    std::vector<double> lift;
    double sum = 0;
    for (std::size_t n = 0; n < static_cast<std::size_t>(1.1 * rate); ++n) {
        const double t = n / rate;
        const double level = (t >= 0.5 && t < 0.6) ? -10 : -50;
        const double a = dolby * std::pow(10.0, level / 20);
        const double y = varnolt::dolby_b_encode(c, channel, a * std::sin(k_two_pi * 4000 * t)) / a;
        sum += y * y;
        if ((n + 1) % ms == 0) {
            lift.push_back(10 * std::log10(2 * sum / ms));
            sum = 0;
        }
    }
    std::printf("\nEncoder lift on a 4 kHz burst, -50 -> -10 -> -50 dB re Dolby level, %.0f Hz:\n",
                rate);
    const int shown[] = {499, 500, 501, 502, 503, 504, 505, 507, 510, 520, 599,
                         601, 605, 610, 620, 650, 700, 750, 800, 900, 1000};
    for (int m : shown)
        std::printf("  %5d ms  %6.2f dB%s\n", m, lift[m],
                    m == 500   ? "  (the rise)"
                    : m == 600 ? "  (the fall)"
                               : "");
}

}  // namespace

int main(int argc, char** argv) {
    const bool fit = argc > 1 && std::strcmp(argv[1], "fit") == 0;
    std::printf("Dolby level at %.1f dBFS (\"PC Recording Volume\" 1)\n",
                varnolt::k_dolby_level_at_unity_dbfs);
    for (double rate : k_rates)
        for (bool standard : {true, false}) {
            std::printf("%s decoder at %.0f Hz:\n", standard ? "standard" : "table", rate);
            const Errors e = errors_at(standard, rate, 1.0, true);
            std::printf("  RMS %.2f dB, worst %+.2f dB\n", e.rms, e.worst);
        }
    print_tone_burst(48000);
    if (!fit) return 0;
    std::printf("\nTable remover at 44100 Hz by \"PC Recording Volume\":\n");
    for (int step = 50; step <= 200; step += 2) {
        const double volume = step / 100.0;
        const Errors e = errors_at(false, 44100, volume, false);
        std::printf("  %.2f (Dolby level %+.1f dB re the setting's)  RMS %.2f dB, worst %+.2f dB\n",
                    volume, -20 * std::log10(volume), e.rms, e.worst);
        std::fflush(stdout);
    }
    return 0;
}
