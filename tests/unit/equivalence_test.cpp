// The optimised processors against the plain implementation in tests/reference: the same long
// random and musical signals through both, at every quality and at 22.05, 44.1, 48 and 96 kHz.
// Output samples, band meters, factors, levels and the published monitor values must agree
// within 1e-9 of full scale: far below the 16-bit step (3e-5 of it), and far above the rounding
// that a different order of the same arithmetic leaves (about 1e-16 of a value).

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "processors/stereo.h"
#include "processors/tape_control.h"
#include "processors/tape_processor.h"
#include "reference/stereo.h"
#include "reference/tape_processor.h"
#include "settings/parameters.h"
#include "test_support.h"

namespace varnolt {
namespace {

constexpr double k_full_scale = 32768.0;
constexpr double k_tolerance = 1e-9 * k_full_scale;
constexpr double k_pi = 3.14159265358979323846;

const double k_rates[] = {22050.0, 44100.0, 48000.0, 96000.0};
constexpr double k_seconds = 4.0;

// Interleaved stereo: noise with partly shared channels, or music (a chord with a melody, drum
// hits, hiss, the right channel a fraction of a sample late).
std::vector<double> signal(bool musical, double rate) {
    std::mt19937 rng(musical ? 5 : 6);
    std::normal_distribution<double> noise(0.0, 1.0);
    const int frames = static_cast<int>(k_seconds * rate);
    std::vector<double> x;
    x.reserve(2 * static_cast<std::size_t>(frames));
    double previous = 0.0;
    for (int n = 0; n < frames; ++n) {
        const double t = n / rate;
        if (!musical) {
            const double shared = 4000.0 * noise(rng);
            x.push_back(shared + 1500.0 * noise(rng));
            x.push_back(0.7 * shared + 1500.0 * noise(rng));
            continue;
        }
        const double note = 220.0 * std::pow(2.0, static_cast<int>(t * 4) % 5 / 12.0);
        const double beat = std::fmod(t, 0.5);
        double m =
            3000.0 * std::sin(2 * k_pi * 220.0 * t) + 2000.0 * std::sin(2 * k_pi * 277.2 * t) +
            1500.0 * std::sin(2 * k_pi * 329.6 * t) + 2500.0 * std::sin(2 * k_pi * 2 * note * t) +
            9000.0 * std::exp(-beat * 40.0) * noise(rng);
        m *= 0.6 + 0.4 * std::sin(2 * k_pi * 0.3 * t);
        x.push_back(m + 200.0 * noise(rng));
        x.push_back(0.5 * (m + previous) + 200.0 * noise(rng));
        previous = m;
    }
    return x;
}

struct Worst {
    double difference = 0.0;
    std::string where;
    void note(double a, double b, double scale, const std::string& what) {
        const double d = std::fabs(a - b) / scale;
        if (!(d <= difference)) {  // a NaN is the worst of all
            difference = d;
            where = what;
        }
    }
};

void expect_within(const Worst& worst, double tolerance, const std::string& context) {
    if (std::getenv("VARNOLT_SHOW_WORST"))
        std::printf("%s: %.3g (%s)\n", context.c_str(), worst.difference, worst.where.c_str());
    EXPECT_LE(worst.difference, tolerance) << context << ": worst at " << worst.where;
}

std::string case_name(bool musical, double rate, int quality) {
    return std::string(musical ? "music" : "noise") + " at " +
           std::to_string(static_cast<int>(rate)) + " Hz, quality " + std::to_string(quality);
}

class Equivalence : public ::testing::Test {
  protected:
    void SetUp() override { reset(); }
    void TearDown() override { testing::reset_plugin_state(); }

    static void reset() {
        testing::reset_plugin_state();
        reference::tape_state = *std::make_unique<reference::TapeState>();
        reference::stereo_state = *std::make_unique<reference::StereoState>();
    }
};

TEST_F(Equivalence, TapeProcessorOutputsMetersAndFactors) {
    for (bool musical : {false, true}) {
        for (double rate : k_rates) {
            for (int quality = 0; quality <= 2; ++quality) {
                reset();
                const std::string context = case_name(musical, rate, quality);
                auto plain = std::make_unique<reference::TapeProcessor>();
                auto fast = std::make_unique<TapeProcessor>();
                // Everything that shapes a block: band gains, the automatic factors, the remover.
                live.values.pre_amplifier_left = 1.1;
                for (int b = 1; b <= k_bands; ++b) live.values.bands[b] = {1.0 + 0.05 * b, 0.9};
                tape_control.bias_active = 1;
                tape_control.dolby_active = 1;
                tape_control.auto_left = 1;
                tape_control.auto_right = 1;
                tape_control.auto_bias_only = quality != 1;
                tape_control.auto_clustered = quality != 2;
                for (auto* p : {static_cast<reference::Processor*>(plain.get())}) {
                    p->quality = quality;
                    p->set_quality(quality);
                    p->sample_rate = rate;
                }
                fast->quality = quality;
                fast->set_quality(quality);
                fast->sample_rate = rate;

                Worst out;
                const std::vector<double> x = signal(musical, rate);
                for (std::size_t i = 0; i < x.size(); ++i) {
                    plain->push_sample(x[i], true);
                    fast->push_sample(x[i], true);
                    out.note(plain->read_output(), fast->read_output(), 1.0,
                             "sample " + std::to_string(i));
                }
                expect_within(out, k_tolerance, context + ", output");

                const reference::TapeState& r = reference::tape_state;
                const TapeState& s = tape_state;
                Worst state;
                for (int b = 1; b <= k_bands; ++b) {
                    for (int c = 0; c < 2; ++c) {
                        const std::string at =
                            " band " + std::to_string(b) + "/" + std::to_string(c);
                        state.note(r.band_level[b][c], s.band_level[b][c], k_full_scale,
                                   "level" + at);
                        state.note(r.auto_factor[b][c], s.auto_factor[b][c], 1.0, "auto" + at);
                        state.note(r.applied_factor[b][c], s.applied_factor[b][c], 1.0,
                                   "applied" + at);
                        // Sums over the whole run: relative to their size.
                        const double scale = std::max(1.0, std::fabs(r.band_meter_in[b][c]));
                        state.note(r.band_meter_in[b][c], s.monitor.band_meter_in[b][c], scale,
                                   "meter in" + at);
                        state.note(r.band_meter_out[b][c], s.monitor.band_meter_out[b][c],
                                   std::max(1.0, std::fabs(r.band_meter_out[b][c])),
                                   "meter out" + at);
                    }
                }
                for (int c = 0; c < 2; ++c) {
                    state.note(r.sidechain_level[c], s.sidechain_level[c], k_full_scale,
                               "sidechain");
                    state.note(r.sidechain_meter[c], s.monitor.sidechain_meter[c],
                               std::max(1.0, std::fabs(r.sidechain_meter[c])), "sidechain meter");
                    EXPECT_EQ(r.hold_counter[c], s.hold_counter[c]) << context;
                }
                EXPECT_EQ(r.meter_count, s.monitor.meter_count) << context;
                expect_within(state, 1e-9, context + ", state");
            }
        }
    }
}

TEST_F(Equivalence, StereoProcessorOutputsAndMonitor) {
    for (bool musical : {false, true}) {
        for (double rate : k_rates) {
            for (int quality = 0; quality <= 2; ++quality) {
                reset();
                const std::string context = case_name(musical, rate, quality);
                auto plain = std::make_unique<reference::Stereo>();
                auto fast = std::make_unique<Stereo>();
                live.azimuth_enabled = 1;
                live.values.fm_enabled = 1;
                live.values.delay_time = 1.0;
                plain->quality = fast->quality = quality;
                plain->sample_rate = fast->sample_rate = rate;

                Worst out;
                const std::vector<double> x = signal(musical, rate);
                for (std::size_t i = 0; i < x.size(); ++i) {
                    plain->push_sample(x[i], true);
                    fast->push_sample(x[i], true);
                    out.note(plain->read_output(), fast->read_output(), 1.0,
                             "sample " + std::to_string(i));
                }
                expect_within(out, k_tolerance, context + ", output");

                const reference::StereoMonitor& r = reference::stereo_state.monitor;
                const StereoMonitor& s = stereo_state.monitor;
                Worst monitor;
                for (int i = 0; i < k_stereo_bins; ++i)
                    monitor.note(r.excess_sorted[i], s.excess_sorted[i], k_full_scale, "excess");
                const auto level = [&](double a, double b, const char* what) {
                    monitor.note(a, b, std::max(1.0, std::fabs(a)), what);
                };
                level(r.noise_level, s.noise_level, "noise level");
                level(r.history_floor, s.history_floor, "history floor");
                level(r.held_level, s.held_level, "held level");
                level(r.threshold, s.threshold, "threshold");
                level(r.roughness_ratio, s.roughness_ratio, "roughness");
                level(r.sum_magnitude, s.sum_magnitude, "sum magnitude");
                level(r.sum_removed, s.sum_removed, "sum removed");
                level(r.sum_excess, s.sum_excess, "sum excess");
                monitor.note(r.slope_estimate, s.slope_estimate, 1.0, "slope estimate");
                monitor.note(r.slope, s.slope, 1.0, "slope");
                monitor.note(reference::stereo_state.current_slope, stereo_state.current_slope, 1.0,
                             "current slope");
                level(reference::stereo_state.smoothed_level, stereo_state.smoothed_level,
                      "smoothed level");
                EXPECT_EQ(r.estimate_accepted, s.estimate_accepted) << context;
                expect_within(monitor, 1e-9, context + ", monitor");
            }
        }
    }
}

}  // namespace
}  // namespace varnolt
