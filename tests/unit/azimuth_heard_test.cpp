// The azimuth correction heard through modify_samples: identical channels (an alignment tone at
// the head of a tape, a mono recording) must stay identical, and a real offset between the
// channels must still be taken out.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "chain/instance.h"
#include "plugin/dll_instance.h"
#include "plugin/modify_samples.h"
#include "processors/processor_set.h"
#include "processors/stereo.h"
#include "settings/parameters.h"
#include "test_support.h"

namespace varnolt {
namespace {

// The DLL's one instance: these tests drive the module's entries, which work on it.
LiveParameters& live = dll_instance().live;
StereoState& stereo_state = dll_instance().stereo_state;

constexpr int k_rate = 44100;
constexpr int k_block = 576;
constexpr double k_pi = 3.14159265358979323846;
constexpr int k_seconds = 4;

double search_step(int quality) {
    return quality == 0 ? 0.0005 : quality == 2 ? 0.001 : 0.00075;
}

struct Outcome {
    double largest_slope = 0.0;  // largest |applied slope| seen after any block
    double final_slope = 0.0;
    double correlation = 0.0;  // of left and right over the last second
    double side_to_mid_db = 0.0;
};

// Streams k_seconds of `signal` (frame n -> left, right) with only the azimuth correction on.
Outcome play(const std::function<std::pair<double, double>(int)>& signal, int quality,
             double limit = 20.0) {
    testing::reset_plugin_state();
    create_processors(dll_instance());
    live.values.bias_enabled = 0;
    live.azimuth_enabled = 1;
    live.azimuth_limit = limit;
    live.values.quality = quality;
    const int frames = k_seconds * k_rate;
    std::vector<std::int16_t> pcm;
    for (int n = 0; n < frames; ++n) {
        const auto [left, right] = signal(n);
        pcm.push_back(static_cast<std::int16_t>(std::lround(left)));
        pcm.push_back(static_cast<std::int16_t>(std::lround(right)));
    }
    Outcome run;
    for (int start = 0; start < frames; start += k_block) {
        modify_samples(nullptr, pcm.data() + 2 * start, std::min(k_block, frames - start), 16, 2,
                       k_rate);
        run.largest_slope = std::max(run.largest_slope, std::fabs(stereo_state.current_slope));
    }
    double ll = 0, rr = 0, lr = 0, side = 0, mid = 0;
    for (int n = frames - k_rate; n < frames; ++n) {
        const double l = pcm[2 * n], r = pcm[2 * n + 1];
        ll += l * l;
        rr += r * r;
        lr += l * r;
        side += (l - r) * (l - r);
        mid += (l + r) * (l + r);
    }
    run.correlation = lr / std::sqrt(ll * rr);
    run.side_to_mid_db = 10 * std::log10(side / mid);
    run.final_slope = stereo_state.current_slope;
    testing::reset_plugin_state();
    return run;
}

std::pair<double, double> mono(double x) {
    return {x, x};
}

TEST(AzimuthHeard, IdenticalChannelsStayIdenticalForTonesSweepsAndNoise) {
    struct Signal {
        std::string name;
        std::function<std::pair<double, double>(int)> frame;
    };
    std::vector<Signal> signals;
    for (double hz : {1000.0, 5000.0, 8000.0, 10000.0, 12000.0, 15000.0})
        signals.push_back({std::to_string(static_cast<int>(hz)) + " Hz", [hz](int n) {
                               return mono(16384.0 * std::sin(2 * k_pi * hz * n / k_rate));
                           }});
    // 50 Hz to 20 kHz, exponential, over the whole run.
    signals.push_back({"sweep", [](int n) {
                           const double t = static_cast<double>(n) / k_rate;
                           const double rate = std::log(20000.0 / 50.0) / k_seconds;
                           const double phase = 2 * k_pi * 50.0 * (std::exp(rate * t) - 1) / rate;
                           return mono(16384.0 * std::sin(phase));
                       }});
    auto rng = std::make_shared<std::mt19937>(5);
    signals.push_back({"noise", [rng](int) {
                           std::normal_distribution<double> noise(0.0, 5000.0);
                           return mono(noise(*rng));
                       }});

    for (double limit : {20.0, 50.0}) {
        for (int quality : {0, 1, 2}) {
            for (const Signal& s : signals) {
                SCOPED_TRACE(s.name + ", quality " + std::to_string(quality) + ", limit " +
                             std::to_string(static_cast<int>(limit)));
                const Outcome run = play(s.frame, quality, limit);
                // The interpolation between grid points leaves up to half a step; the phases'
                // ambiguity once drove these tones into anti-phase (correlation -1).
                EXPECT_LE(run.largest_slope, search_step(quality));
                EXPECT_GT(run.correlation, 0.95);
                EXPECT_LT(run.side_to_mid_db, -15.0);
            }
        }
    }
}

// Forty partials between 100 Hz and 15 kHz; the right channel sounds `delay` samples late.
std::function<std::pair<double, double>(int)> partials_late_by(double delay) {
    struct Partial {
        double hz, phase;
    };
    std::vector<Partial> partials;
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> hz(100.0, 15000.0), phase(0.0, 2 * k_pi);
    for (int i = 0; i < 40; ++i) partials.push_back({hz(rng), phase(rng)});
    return [partials, delay](int n) {
        double left = 0, right = 0;
        for (const Partial& p : partials) {
            left += 400.0 * std::sin(2 * k_pi * p.hz * n / k_rate + p.phase);
            right += 400.0 * std::sin(2 * k_pi * p.hz * (n - delay) / k_rate + p.phase);
        }
        return std::pair{left, right};
    };
}

TEST(AzimuthHeard, AHalfSampleDelayIsStillTakenOut) {
    // A delay of d samples is a phase slope of 2 pi d / N per bin.
    const double slope_per_sample = 2 * k_pi / k_block_frames;
    for (int quality : {0, 1, 2}) {
        SCOPED_TRACE(quality);
        const Outcome run = play(partials_late_by(0.5), quality);
        EXPECT_NEAR(run.final_slope / slope_per_sample, 0.5, 0.1);
        EXPECT_GT(run.correlation, 0.99);
    }
}

TEST(AzimuthHeard, DigitalSilenceIsNoEstimateAndTheSlopeOnlyDecays) {
    testing::reset_plugin_state();
    create_processors(dll_instance());
    live.values.bias_enabled = 0;
    live.azimuth_enabled = 1;
    stereo_state.current_slope = 0.004;
    std::vector<std::int16_t> silence(2 * k_block, 0);
    for (int block = 0; block < 200; ++block)
        modify_samples(nullptr, silence.data(), k_block, 16, 2, k_rate);
    // 200 blocks of 576 frames are 112 stereo blocks of 1024 frames, each decaying the slope by
    // 1 - 0.4 / 512 and moving it no further.
    EXPECT_FALSE(stereo_state.monitor.estimate_accepted);
    EXPECT_NEAR(stereo_state.current_slope, 0.004 * std::pow(1 - 0.4 * 0.001953125, 112), 1e-12);
    testing::reset_plugin_state();
}

}  // namespace
}  // namespace varnolt
