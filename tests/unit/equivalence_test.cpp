// The processors against their plain versions in tests/reference, which differ only where the
// processors were rewritten for speed (the transform, the band synthesis, the per-frame Dolby B
// loop): the same long random and musical signals through each, at 22.05, 44.1, 48 and 96 kHz
// and every quality, under each setting of a table. The two run one after the other, since
// both work on the processors' state. Output samples, band levels, factors, meters and the
// published monitor values must agree within 1e-9 of full scale: far below the 16-bit step (3e-5
// of it), and far above the rounding that a different order of the same arithmetic leaves (about
// 1e-16 of a value).

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <ostream>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include "instance_names.h"
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
    // Levels and sums over the whole run: relative to their size.
    void note_relative(double a, double b, const std::string& what) {
        note(a, b, std::max(1.0, std::fabs(a)), what);
    }
};

void expect_within(const Worst& worst, double tolerance, const std::string& context) {
    if (std::getenv("VARNOLT_SHOW_WORST"))
        std::printf("%s: %.3g (%s)\n", context.c_str(), worst.difference, worst.where.c_str());
    EXPECT_LE(worst.difference, tolerance) << context << ": worst at " << worst.where;
}

std::string run_name(bool musical, double rate, int quality) {
    return std::string(musical ? "music" : "noise") + " at " +
           std::to_string(static_cast<int>(rate)) + " Hz, quality " + std::to_string(quality);
}

// The runs' own instance, which the cases' settings configure; each run starts it afresh.
testing::OwnInstance own;
LiveParameters& live = own.live;
TapeControl& tape_control = own.tape_control;
TapeState& tape_state = own.tape_state;
StereoState& stereo_state = own.stereo_state;

void reset_all() {
    own.reset_all();
}

// A processor of type P on the runs' instance.
template <class P>
std::unique_ptr<P> make_processor() {
    if constexpr (std::is_base_of_v<TapeProcessor, P>)
        return std::make_unique<P>(tape_state, tape_control, live);
    else
        return std::make_unique<P>(stereo_state, live);
}

// One processor's run over a signal: its output and its state at the end.
template <class State>
struct Run {
    std::vector<double> output;
    std::unique_ptr<State> state;
};

// Runs a fresh processor of type P over x after `configure(quality)`; State is what P leaves
// in `state` (tape_state or stereo_state).
template <class P, class State, class Configure>
Run<State> run(const std::vector<double>& x, double rate, int quality, Configure configure,
               const State& state) {
    reset_all();
    auto processor = make_processor<P>();
    configure(quality);  // after the constructor, which writes the processor's defaults
    // As the chain sets them: the tape processor takes the quality's geometry, the stereo
    // processor keeps its own and takes only the quality's azimuth search step.
    if constexpr (std::is_same_v<State, StereoState>)
        processor->set_quality_keeping_geometry(quality);
    else
        processor->set_quality(quality);
    processor->set_sample_rate(rate);
    Run<State> r;
    r.output.reserve(x.size());
    for (double sample : x) {
        processor->push_sample(sample, true);
        r.output.push_back(processor->read_output());
    }
    r.state = std::make_unique<State>(state);
    reset_all();
    return r;
}

void expect_same_output(const std::vector<double>& plain, const std::vector<double>& fast,
                        const std::string& context) {
    ASSERT_EQ(plain.size(), fast.size());
    Worst out;
    for (std::size_t i = 0; i < plain.size(); ++i)
        out.note(plain[i], fast[i], 1.0, "sample " + std::to_string(i));
    expect_within(out, k_tolerance, context + ", output");
}

// The tape processor's settings. Every stage but the Dolby B difference: band gains and a
// pre-amplifier apart from 1, both automatic adjustments, and the "bias only" and "clustered"
// rules in three of their four combinations (by quality).
void every_tape_stage(int quality) {
    live.values.pre_amplifier_left = 1.1;
    for (int b = 1; b <= k_bands; ++b) live.values.bands[b] = {1.0 + 0.05 * b, 0.9};
    tape_control.bias_active = 1;
    tape_control.dolby_active = 1;
    tape_control.auto_left = 1;
    tape_control.auto_right = 1;
    tape_control.auto_bias_only = quality != 1;
    tape_control.auto_clustered = quality != 2;
}

struct TapeCase {
    const char* name;
    void (*settings)(int quality);
};
// The case's name in the test's name.
void PrintTo(const TapeCase& c, std::ostream* out) {
    *out << c.name;
}

const TapeCase k_tape_cases[] = {
    {"ProcessorDefaults", [](int) {}},  // Dolby B and bias off
    {"EveryStage", every_tape_stage},
    {"DolbyDifference",
     [](int q) {
         every_tape_stage(q);
         tape_control.dolby_difference = 1;
     }},
    {"DolbyStrengthZero",
     [](int q) {
         every_tape_stage(q);
         live.values.dolby_strength = 0.0;
     }},
    {"DolbyStrengthHalf",
     [](int q) {
         every_tape_stage(q);
         live.values.dolby_strength = 0.5;
     }},
    {"BiasOff",
     [](int q) {
         every_tape_stage(q);
         tape_control.bias_active = 0;
     }},
    {"RightRelativeToLeft",
     [](int q) {
         every_tape_stage(q);
         live.values.pre_amplifier_right = 0.8;
         tape_control.right_relative_to_left = 1;
     }},
    {"LeftRelativeToRight",
     [](int q) {
         every_tape_stage(q);
         live.values.pre_amplifier_right = 0.8;
         tape_control.left_relative_to_right = 1;
     }},
    {"BothRelative",
     [](int q) {
         every_tape_stage(q);
         live.values.pre_amplifier_right = 0.8;
         tape_control.right_relative_to_left = 1;
         tape_control.left_relative_to_right = 1;
     }},
};

class TapeEquivalence : public ::testing::TestWithParam<TapeCase> {
  protected:
    void TearDown() override { reset_all(); }
};

TEST_P(TapeEquivalence, OutputsLevelsFactorsAndMeters) {
    const TapeCase& c = GetParam();
    for (bool musical : {false, true}) {
        for (double rate : k_rates) {
            const std::vector<double> x = signal(musical, rate);
            for (int quality = 0; quality <= 2; ++quality) {
                const std::string context =
                    std::string(c.name) + ", " + run_name(musical, rate, quality);
                const auto plain =
                    run<reference::TapeProcessor>(x, rate, quality, c.settings, tape_state);
                const auto fast = run<TapeProcessor>(x, rate, quality, c.settings, tape_state);
                expect_same_output(plain.output, fast.output, context);

                const TapeState& r = *plain.state;
                const TapeState& s = *fast.state;
                Worst state;
                for (int b = 1; b <= k_bands; ++b) {
                    for (int ch = 0; ch < 2; ++ch) {
                        const std::string at =
                            " band " + std::to_string(b) + "/" + std::to_string(ch);
                        state.note(r.band_level[b][ch], s.band_level[b][ch], k_full_scale,
                                   "level" + at);
                        state.note(r.auto_factor[b][ch], s.auto_factor[b][ch], 1.0, "auto" + at);
                        state.note(r.applied_factor[b][ch], s.applied_factor[b][ch], 1.0,
                                   "applied" + at);
                        state.note(r.monitor.applied_factor[b][ch], s.monitor.applied_factor[b][ch],
                                   1.0, "published applied" + at);
                        state.note_relative(r.monitor.band_meter_in[b][ch],
                                            s.monitor.band_meter_in[b][ch], "meter in" + at);
                        state.note_relative(r.monitor.band_meter_out[b][ch],
                                            s.monitor.band_meter_out[b][ch], "meter out" + at);
                    }
                }
                for (int ch = 0; ch < 2; ++ch) {
                    state.note(r.sidechain_level[ch], s.sidechain_level[ch], k_full_scale,
                               "sidechain");
                    state.note_relative(r.monitor.sidechain_meter[ch],
                                        s.monitor.sidechain_meter[ch], "sidechain meter");
                    EXPECT_EQ(r.hold_counter[ch], s.hold_counter[ch]) << context;
                }
                EXPECT_EQ(r.monitor.meter_count, s.monitor.meter_count) << context;
                expect_within(state, 1e-9, context + ", state");
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Settings, TapeEquivalence, ::testing::ValuesIn(k_tape_cases));

// The stereo processor's settings: the azimuth correction and the FM hiss filter.
void azimuth_and_fm(int) {
    live.azimuth_enabled = 1;
    live.values.fm_enabled = 1;
    live.values.delay_time = 1.0;
}

struct StereoCase {
    const char* name;
    void (*settings)(int quality);
};
void PrintTo(const StereoCase& c, std::ostream* out) {
    *out << c.name;
}

const StereoCase k_stereo_cases[] = {
    {"ProcessorDefaults", [](int) {}},  // the azimuth correction alone
    {"AzimuthAndFm", azimuth_and_fm},
    {"FmDifference",
     [](int q) {
         azimuth_and_fm(q);
         live.values.fm_difference = 1;
     }},
    {"FmAlone",
     [](int q) {
         azimuth_and_fm(q);
         live.azimuth_enabled = 0;
     }},
};

class StereoEquivalence : public ::testing::TestWithParam<StereoCase> {
  protected:
    void TearDown() override { reset_all(); }
};

TEST_P(StereoEquivalence, OutputsAndMonitor) {
    const StereoCase& c = GetParam();
    for (bool musical : {false, true}) {
        for (double rate : k_rates) {
            const std::vector<double> x = signal(musical, rate);
            for (int quality = 0; quality <= 2; ++quality) {
                const std::string context =
                    std::string(c.name) + ", " + run_name(musical, rate, quality);
                const auto plain =
                    run<reference::Stereo>(x, rate, quality, c.settings, stereo_state);
                const auto fast = run<Stereo>(x, rate, quality, c.settings, stereo_state);
                expect_same_output(plain.output, fast.output, context);

                const StereoMonitor& r = plain.state->monitor;
                const StereoMonitor& s = fast.state->monitor;
                Worst monitor;
                for (int i = 0; i < k_stereo_bins; ++i)
                    monitor.note(r.excess[i], s.excess[i], k_full_scale, "excess");
                monitor.note_relative(r.noise_level, s.noise_level, "noise level");
                monitor.note_relative(r.history_floor, s.history_floor, "history floor");
                monitor.note_relative(r.held_level, s.held_level, "held level");
                monitor.note_relative(r.threshold, s.threshold, "threshold");
                monitor.note_relative(r.roughness_ratio, s.roughness_ratio, "roughness");
                monitor.note_relative(r.sum_magnitude, s.sum_magnitude, "sum magnitude");
                monitor.note_relative(r.sum_removed, s.sum_removed, "sum removed");
                monitor.note_relative(r.sum_excess, s.sum_excess, "sum excess");
                monitor.note(r.slope_estimate, s.slope_estimate, 1.0, "slope estimate");
                monitor.note(r.slope, s.slope, 1.0, "slope");
                monitor.note(plain.state->current_slope, fast.state->current_slope, 1.0,
                             "current slope");
                monitor.note_relative(plain.state->smoothed_level, fast.state->smoothed_level,
                                      "smoothed level");
                EXPECT_EQ(r.estimate_accepted, s.estimate_accepted) << context;
                expect_within(monitor, 1e-9, context + ", monitor");
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Settings, StereoEquivalence, ::testing::ValuesIn(k_stereo_cases));

}  // namespace
}  // namespace varnolt
