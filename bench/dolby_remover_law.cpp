// The Dolby B remover's gain against input level: steady tones and a narrow band of noise at a
// sweep of levels, each through a fresh instance with only the remover on, for several values
// of "PC Recording Volume". A real Dolby B decoder's cut at a given frequency depends on the
// level relative to its one calibration; this table shows how the remover's cut depends on the
// level and on the setting.
//
//   varnolt_dolby_remover_law [RATE]
//
// Prints, per signal, one row per input level (dBFS of the tone's peak, the noise's RMS) and one
// column per setting: the steady gain in dB (output over input, measured over the last second
// of three). Below each table, per setting, the input level at which the cut is half its
// deepest (in dB), and how far that level moves from one setting to the next: a decoder whose
// setting is a level calibration moves it by 20 log10 of the settings' ratio, 6.02 dB for
// each doubling. Last, how long the remover's level detector takes to settle on a 4 kHz tone
// that starts after silence, by level: a decoder that follows a tape's dynamics as a Dolby B
// decoder does settles in about the same few milliseconds at every level.

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <vector>

#include "chain/chain.h"
#include "chain/instance.h"

namespace {

constexpr double k_full_scale = 32768.0;
constexpr double k_two_pi = 6.283185307179586;
constexpr double k_seconds = 3.0;
constexpr double k_measured_seconds = 1.0;
constexpr int k_noise_partials = 24;
const double k_settings[] = {0.25, 0.5, 1.0, 2.0, 4.0};
constexpr int k_quietest_db = -70;
constexpr int k_level_step_db = 2;
constexpr int k_level_count = 36;   // -70 .. 0 dBFS
constexpr int k_printed_every = 5;  // rows of the table: every 10 dB

struct Signal {
    const char* name;
    double low_hz;   // a tone has low == high
    double high_hz;  // a third of an octave of noise otherwise
    // A tone that sounds this long in every k_burst_period_ms, as programme material comes and
    // goes; 0: steady.
    double burst_ms = 0.0;
};

constexpr double k_burst_period_ms = 100.0;

const Signal k_signals[] = {{"1 kHz tone", 1000, 1000},
                            {"4 kHz tone", 4000, 4000},
                            {"10 kHz tone", 10000, 10000},
                            {"4 kHz third-octave noise", 3564, 4490},
                            {"10 kHz third-octave noise", 8909, 11225},
                            {"4 kHz tone bursts of 20 ms in 100 ms", 4000, 4000, 20.0}};

// The signal at `level_db` dBFS (a tone's peak while it sounds, the noise's RMS), the same in
// both channels.
std::vector<double> make_signal(const Signal& s, double level_db, double rate) {
    const std::size_t frames = static_cast<std::size_t>(k_seconds * rate);
    std::vector<double> x(frames, 0.0);
    const double amplitude = k_full_scale * std::pow(10.0, level_db / 20.0);
    if (s.low_hz == s.high_hz) {
        for (std::size_t n = 0; n < frames; ++n) {
            const double ms = std::fmod(1000.0 * n / rate, k_burst_period_ms);
            if (s.burst_ms == 0.0 || ms < s.burst_ms)
                x[n] = amplitude * std::sin(k_two_pi * s.low_hz * n / rate);
        }
        return x;
    }
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> phase(0.0, k_two_pi);
    // Equal partials spread over the band: RMS = a * sqrt(partials / 2).
    const double a = amplitude / std::sqrt(k_noise_partials / 2.0);
    for (int k = 0; k < k_noise_partials; ++k) {
        const double f = s.low_hz + (s.high_hz - s.low_hz) * (k + 0.5) / k_noise_partials;
        const double p = phase(rng);
        for (std::size_t n = 0; n < frames; ++n) x[n] += a * std::sin(k_two_pi * f * n / rate + p);
    }
    return x;
}

double rms(const std::vector<double>& x, std::size_t from) {
    double sum = 0.0;
    for (std::size_t n = from; n < x.size(); ++n) sum += x[n] * x[n];
    return std::sqrt(sum / static_cast<double>(x.size() - from));
}

// The gain in dB of the remover alone at `setting` for this input.
double remover_gain(const std::vector<double>& input, double setting, double rate) {
    auto instance = std::make_unique<varnolt::Instance>();
    varnolt::create_processors(*instance);
    varnolt::Settings& values = instance->live.values;
    values.dolby_enabled = 1;
    values.bias_enabled = 0;
    values.fm_enabled = 0;
    values.singleband_enabled = 0;
    values.pc_recording_volume = setting;
    instance->live.azimuth_enabled = 0;
    std::vector<double> output(input.size());
    for (std::size_t n = 0; n < input.size(); ++n) {
        output[n] = varnolt::chain_sample(*instance, input[n], rate);
        varnolt::chain_sample(*instance, input[n], rate);  // the right channel, the same
    }
    const std::size_t from = input.size() - static_cast<std::size_t>(k_measured_seconds * rate);
    const double in = rms(input, from), out = rms(output, from);
    return in > 0.0 && out > 0.0 ? 20.0 * std::log10(out / in) : -999.0;
}

// Milliseconds from the start of a `level_db` 4 kHz tone until the sidechain level of the left
// channel first reaches 90 % of where it stands after two seconds.
double settling_ms(double level_db, double setting, double rate) {
    const Signal tone = {"", 4000, 4000};
    const std::vector<double> x = make_signal(tone, level_db, rate);
    auto instance = std::make_unique<varnolt::Instance>();
    varnolt::create_processors(*instance);
    instance->live.values.dolby_enabled = 1;
    instance->live.values.bias_enabled = 0;
    instance->live.values.pc_recording_volume = setting;
    instance->live.azimuth_enabled = 0;
    const std::size_t frames = static_cast<std::size_t>(2.0 * rate);
    std::vector<double> level(frames);
    for (std::size_t n = 0; n < frames; ++n) {
        varnolt::chain_sample(*instance, x[n], rate);
        varnolt::chain_sample(*instance, x[n], rate);
        level[n] = instance->tape_state.sidechain_level[0];
    }
    for (std::size_t n = 0; n < frames; ++n)
        if (level[n] >= 0.9 * level.back()) return 1000.0 * n / rate;
    return NAN;
}

}  // namespace

int main(int argc, char** argv) {
    const double rate = argc > 1 ? std::atof(argv[1]) : 44100.0;
    if (!(rate >= 8000.0 && rate <= 384000.0)) {
        std::fprintf(stderr, "varnolt_dolby_remover_law: RATE must be 8000 .. 384000\n");
        return 2;
    }
    constexpr int settings = sizeof k_settings / sizeof k_settings[0];
    for (const Signal& s : k_signals) {
        std::printf("\n%s at %.0f Hz: gain in dB by \"PC Recording Volume\"\n", s.name, rate);
        std::printf("%10s", "dBFS");
        for (double v : k_settings) std::printf("%9.2f", v);
        std::printf("\n");
        double gain[k_level_count][settings];
        for (int i = 0; i < k_level_count; ++i) {
            const double level = k_quietest_db + k_level_step_db * i;
            const std::vector<double> x = make_signal(s, level, rate);
            for (int k = 0; k < settings; ++k) gain[i][k] = remover_gain(x, k_settings[k], rate);
            if (i % k_printed_every != 0) continue;
            std::printf("%10.0f", level);
            for (int k = 0; k < settings; ++k) std::printf("%9.2f", gain[i][k]);
            std::printf("\n");
            std::fflush(stdout);
        }
        // Where the cut is half its deepest: the first level, from the quiet end, whose gain
        // has come up past half the quietest level's gain (interpolated between the steps).
        std::printf("%10s", "half cut");
        double previous = 0.0;
        for (int k = 0; k < settings; ++k) {
            const double half = gain[0][k] / 2.0;
            double at = NAN;
            for (int i = 1; i < k_level_count && std::isnan(at); ++i)
                if (gain[i][k] > half) {
                    const double t = (half - gain[i - 1][k]) / (gain[i][k] - gain[i - 1][k]);
                    at = k_quietest_db + k_level_step_db * (i - 1 + t);
                }
            std::printf("%9.1f", at);
            if (k > 0) std::printf(" (%+.1f)", at - previous);
            previous = at;
        }
        std::printf("\n");
    }
    std::printf("\nSettling of the level detector on a 4 kHz tone after silence, at 1.0, in ms\n");
    std::printf(
        "(the detector runs a processing hop at a time: the shortest times are about one hop)\n");
    for (int level = -50; level <= 0; level += 10)
        std::printf("%10d dBFS %9.0f ms\n", level, settling_ms(level, 1.0, rate));
    return 0;
}
