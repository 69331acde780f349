// Every switch of the window, heard where the listener hears it: a 16-bit stereo stream through
// modify_samples in player-sized blocks with the real processors. Each case flips one switch on
// a signal that suits it and checks the direction and rough size of the change it must make.

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
#include "settings/parameters.h"
#include "test_support.h"
#include "ui/plugin_state.h"

namespace varnolt {
namespace {

// The DLL's one instance: these tests drive the module's entries, which work on it.
LiveParameters& live = dll_instance().live;

constexpr int k_rate = 44100;
constexpr int k_block = 576;
constexpr double k_pi = 3.14159265358979323846;

struct Frame {
    double left;
    double right;
};
using Signal = std::function<Frame(int n, std::mt19937& rng)>;

double tone(double hz, double amplitude, int n) {
    return amplitude * std::sin(2 * k_pi * hz * n / k_rate);
}

// Streams `seconds` of `signal` through modify_samples; returns the interleaved output.
std::vector<double> play(const Signal& signal, double seconds) {
    std::mt19937 rng(7);
    const int frames = static_cast<int>(seconds * k_rate);
    std::vector<std::int16_t> pcm;
    for (int n = 0; n < frames; ++n) {
        const Frame f = signal(n, rng);
        pcm.push_back(static_cast<std::int16_t>(std::lround(f.left)));
        pcm.push_back(static_cast<std::int16_t>(std::lround(f.right)));
    }
    for (int start = 0; start < frames; start += k_block) {
        const int count = std::min(k_block, frames - start);
        modify_samples(nullptr, pcm.data() + 2 * start, count, 16, 2, k_rate);
    }
    return std::vector<double>(pcm.begin(), pcm.end());
}

// Root mean square over the last second of a channel combination.
using Measure = std::function<double(const std::vector<double>&)>;
Measure rms_of(std::function<double(double left, double right)> combine) {
    return [combine](const std::vector<double>& out) {
        double sum = 0.0;
        const std::size_t first = out.size() - 2 * k_rate;
        for (std::size_t i = first; i + 1 < out.size(); i += 2) {
            const double v = combine(out[i], out[i + 1]);
            sum += v * v;
        }
        return std::sqrt(sum / k_rate);
    };
}
const Measure left_rms = rms_of([](double l, double) { return l; });
const Measure right_rms = rms_of([](double, double r) { return r; });
const Measure side_rms = rms_of([](double l, double r) { return l - r; });
const Measure mid_rms = rms_of([](double l, double r) { return l + r; });

void every_stage_off() {
    live.values.bias_enabled = 0;
    live.values.dolby_enabled = 0;
    live.values.fm_enabled = 0;
    live.values.singleband_enabled = 0;
    live.azimuth_enabled = 0;
    live.mono = 0;
    live.values.left_relative_to_right = 0;
    live.values.auto_adjust_bias_only = 0;
}

struct SwitchCase {
    std::string name;
    std::function<void()> common;  // set for both runs
    std::function<void()> flip;    // the one switch, set only for the second run
    Signal signal;
    double seconds;
    Measure measure;
    double low, high;  // accepted range of measure(on) / measure(off)
};

double measured(const SwitchCase& c, bool on) {
    testing::reset_plugin_state();
    create_processors(dll_instance());
    every_stage_off();
    c.common();
    if (on) c.flip();
    const double value = c.measure(play(c.signal, c.seconds));
    destroy_processors(dll_instance());
    return value;
}

Frame equal_tone(double hz, double amplitude, int n) {
    const double x = tone(hz, amplitude, n);
    return {x, x};
}

// Independent hiss per channel over a common programme tone.
Frame tone_with_uncorrelated_hiss(int n, std::mt19937& rng) {
    std::normal_distribution<double> hiss(0.0, 600.0);
    const double x = tone(440.0, 6000.0, n);
    return {x + hiss(rng), x + hiss(rng)};
}

// Forty partials of random frequency and phase between 100 Hz and 15 kHz, the right channel
// sounding half a sample late, as from a head whose gap is not square to the tape.
Signal half_sample_late() {
    struct Partial {
        double hz, phase;
    };
    auto partials = std::make_shared<std::vector<Partial>>();
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> hz(100.0, 15000.0), phase(0.0, 2 * k_pi);
    for (int i = 0; i < 40; ++i) partials->push_back({hz(rng), phase(rng)});
    return [partials](int n, std::mt19937&) {
        Frame f{0.0, 0.0};
        for (const Partial& p : *partials) {
            f.left += 400.0 * std::sin(2 * k_pi * p.hz * n / k_rate + p.phase);
            f.right += 400.0 * std::sin(2 * k_pi * p.hz * (n - 0.5) / k_rate + p.phase);
        }
        return f;
    };
}

std::vector<SwitchCase> switch_cases() {
    const auto nothing = [] {};
    const auto bias_on = [] { live.values.bias_enabled = 1; };
    const auto dolby_on = [] { live.values.dolby_enabled = 1; };
    const auto fm_on = [] { live.values.fm_enabled = 1; };
    const Signal quiet_treble = [](int n, std::mt19937&) { return equal_tone(8000, 300, n); };
    // Below the second band, where the remover's gain is always 1.
    const Signal loud_bass = [](int n, std::mt19937&) { return equal_tone(60, 8000, n); };
    const Signal music = [](int n, std::mt19937&) { return equal_tone(1000, 4000, n); };
    // Noise with the left channel at half the level of the right in every band.
    const Signal weak_left = [](int, std::mt19937& rng) {
        std::normal_distribution<double> noise(0.0, 3000.0);
        const double x = noise(rng);
        return Frame{0.5 * x, x};
    };
    const Signal weak_right = [](int, std::mt19937& rng) {
        std::normal_distribution<double> noise(0.0, 3000.0);
        const double x = noise(rng);
        return Frame{x, 0.5 * x};
    };
    return {
        {"Bias on applies the left pre-amplifier", [] { live.values.pre_amplifier_left = 0.5; },
         bias_on, music, 2.0, left_rms, 0.45, 0.55},
        {"RELATIVE TO LEFT multiplies the right gain by the left one",
         [] {
             live.values.bias_enabled = 1;
             live.values.pre_amplifier_left = 0.5;
         },
         [] { live.values.right_relative_to_left = 1; }, music, 2.0, right_rms, 0.45, 0.55},
        {"RELATIVE TO RIGHT multiplies the left gain by the right one",
         [] {
             live.values.bias_enabled = 1;
             live.values.pre_amplifier_right = 0.5;
         },
         [] { live.values.left_relative_to_right = 1; }, music, 2.0, left_rms, 0.45, 0.55},
        {"AUTO left raises the weaker left channel", bias_on,
         [] { live.values.auto_adjust_left = 1; }, weak_left, 4.0, left_rms, 1.6, 2.05},
        {"AUTO right raises the weaker right channel", bias_on,
         [] { live.values.auto_adjust_right = 1; }, weak_right, 4.0, right_rms, 1.6, 2.05},
        {"AUTO left leaves the stronger left channel alone", bias_on,
         [] { live.values.auto_adjust_left = 1; }, weak_right, 4.0, left_rms, 0.97, 1.03},
        {"Dolby B Remover lowers quiet treble", nothing, dolby_on, quiet_treble, 2.0, left_rms, 0.2,
         0.7},
        {"Dolby B Remover leaves loud bass alone", nothing, dolby_on, loud_bass, 2.0, left_rms,
         0.97, 1.03},
        {"DIFFERENCE outputs only what the remover takes out", dolby_on,
         [] { live.values.dolby_difference = 1; }, loud_bass, 2.0, left_rms, 0.0, 0.05},
        {"FM filter takes out hiss that differs between the channels", nothing, fm_on,
         tone_with_uncorrelated_hiss, 5.0, side_rms, 0.0, 0.7},
        {"FM filter keeps what both channels share", nothing, fm_on, tone_with_uncorrelated_hiss,
         5.0, mid_rms, 0.95, 1.02},
        {"DIFF outputs only the removed hiss", fm_on, [] { live.values.fm_difference = 1; },
         tone_with_uncorrelated_hiss, 5.0, mid_rms, 0.0, 0.15},
        {"Azimuth ON lines up a right channel half a sample late", nothing,
         [] { live.azimuth_enabled = 1; }, half_sample_late(), 3.0, side_rms, 0.0, 0.3},
        {"Constant volume lifts a quiet passage about a hundredfold", nothing,
         [] { live.values.singleband_enabled = 1; },
         [](int n, std::mt19937&) { return equal_tone(1000, 50, n); }, 3.0, left_rms, 90, 101},
        {"Mono gives both channels their mean", nothing, [] { live.mono = 1; },
         [](int n, std::mt19937&) {
             const double x = tone(1000, 4000, n);
             return Frame{x, 0.5 * x};
         },
         2.0, right_rms, 1.48, 1.52},
        {"Post amplifier multiplies the output", nothing, [] { live.values.post_amplifier = 2.0; },
         music, 1.0, left_rms, 1.99, 2.01},
        {"Processing without the Dolby B remover keeps quiet treble", dolby_on,
         [] { live.processing_mode = k_mode_without_dolby; }, quiet_treble, 2.0, left_rms, 1.4,
         5.0},
        {"Bypass passes the input although the post amplifier is set",
         [] { live.values.post_amplifier = 2.0; }, [] { live.processing_mode = k_mode_bypass; },
         music, 1.0, left_rms, 0.499, 0.501},
    };
}

TEST(SwitchesHeard, EverySwitchChangesTheOutputAsItSays) {
    for (const SwitchCase& c : switch_cases()) {
        const double off = measured(c, false);
        const double on = measured(c, true);
        ASSERT_GT(off, 0.0) << c.name;
        const double ratio = on / off;
        EXPECT_GE(ratio, c.low) << c.name << ": " << off << " -> " << on;
        EXPECT_LE(ratio, c.high) << c.name << ": " << off << " -> " << on;
    }
    testing::reset_plugin_state();
}

TEST(SwitchesHeard, ConstantVolumeBringsALoudPassageToItsTargetWithOneGainForBoth) {
    testing::reset_plugin_state();
    create_processors(dll_instance());
    every_stage_off();
    live.values.singleband_enabled = 1;
    const std::vector<double> out = play(
        [](int n, std::mt19937&) {
            const double x = tone(1000, 10000, n);
            return Frame{x, 0.25 * x};
        },
        3.0);
    double peak_left = 0.0, peak_right = 0.0;
    for (std::size_t i = out.size() - 2 * k_rate; i + 1 < out.size(); i += 2) {
        peak_left = std::max(peak_left, std::fabs(out[i]));
        peak_right = std::max(peak_right, std::fabs(out[i + 1]));
    }
    // 100 times the target level of 163, and the quiet channel lowered by the loud one's gain.
    EXPECT_NEAR(peak_left, 16300.0, 400.0);
    EXPECT_NEAR(peak_right / peak_left, 0.25, 0.01);
    testing::reset_plugin_state();
}

// A click over quiet programme with the "Constant volume" compressor on, followed by a post
// amplifier of 0.5 or by the mono mix: the gain, at 1 for the quiet programme, lifts the click a
// hundredfold before the attack can pull it down. What leaves the compressor is held at full
// scale, so the halving and the mix act on full scale, not on 3e6 that the 16-bit conversion
// clips afterwards; the gain goes on unchanged, so every other sample keeps the level the
// compressor gives it: exactly 100 times the input before the click, and after it the gain the
// click's one attack step leaves (0.95 of the way back down to 163 / click).
TEST(SwitchesHeard, ConstantVolumeHoldsAClickAtFullScaleAndKeepsEveryLevelBelow) {
    constexpr int k_click = 20000;
    constexpr double k_click_level = 30000.0;  // -0.8 dBFS
    const auto quiet = [](int n, int channel) {
        return std::round(60.0 * std::sin(2 * k_pi * 440.0 * n / k_rate + channel) +
                          40.0 * std::sin(2 * k_pi * 1230.0 * n / k_rate));
    };
    const Signal signal = [&](int n, std::mt19937&) {
        return Frame{n == k_click ? k_click_level : quiet(n, 0), quiet(n, 1)};
    };
    const double gain_after_click = 0.95 + 0.05 * 163.0 / k_click_level;
    // The dither's step, and the release that starts again slowly after the attack (the gain
    // rises by about 1e-5 over the 500 frames looked at).
    constexpr double k_near = 1.5;
    for (bool mono : {false, true}) {
        SCOPED_TRACE(mono ? "mono mix" : "post amplifier 0.5");
        testing::reset_plugin_state();
        create_processors(dll_instance());
        every_stage_off();
        live.values.singleband_enabled = 1;
        live.values.post_amplifier = mono ? 1.0 : 0.5;
        live.mono = mono ? 1 : 0;
        const std::vector<double> out = play(signal, 1.0);
        if (!mono) {
            for (int n = 0; n < k_click; ++n)
                for (int ch = 0; ch < 2; ++ch) ASSERT_EQ(out[2 * n + ch], 50.0 * quiet(n, ch)) << n;
            EXPECT_EQ(out[2 * k_click], 16384.0) << "half of full scale";
            EXPECT_NEAR(out[2 * k_click + 1], 50.0 * gain_after_click * quiet(k_click, 1), k_near);
            for (int n = k_click + 1; n < k_click + 500; ++n)
                for (int ch = 0; ch < 2; ++ch)
                    ASSERT_NEAR(out[2 * n + ch], 50.0 * gain_after_click * quiet(n, ch), k_near)
                        << n;
        } else {
            // The mix takes the frame before: the click's frame leaves one frame later.
            const double right = 100.0 * gain_after_click * quiet(k_click, 1);
            for (int ch = 0; ch < 2; ++ch) {
                EXPECT_EQ(out[2 * k_click + ch],
                          50.0 * (quiet(k_click - 1, 0) + quiet(k_click - 1, 1)));
                EXPECT_NEAR(out[2 * (k_click + 1) + ch], (32768.0 + right) / 2.0, k_near);
            }
        }
    }
    testing::reset_plugin_state();
}

// The slider moved while the tape plays: what was inside the remover keeps its level. The 2048
// frames that were inside at the move once came out multiplied by the new volume: 6 dB louder for
// 46 ms when it was doubled.
TEST(SwitchesHeard, MovingTheRecordingVolumeMakesNoJumpOfLevel) {
    testing::reset_plugin_state();
    create_processors(dll_instance());
    every_stage_off();
    live.values.dolby_enabled = 1;
    live.values.pc_recording_volume = 1.0;
    const int frames = 3 * k_rate, moved_at = 2 * k_rate / k_block * k_block;
    std::vector<std::int16_t> pcm;
    for (int n = 0; n < frames; ++n)
        for (int c = 0; c < 2; ++c)
            pcm.push_back(static_cast<std::int16_t>(std::lround(tone(1000, 8000, n))));
    for (int start = 0; start < frames; start += k_block) {
        if (start == moved_at) live.values.pc_recording_volume = 2.0;
        modify_samples(nullptr, pcm.data() + 2 * start, std::min(k_block, frames - start), 16, 2,
                       k_rate);
    }
    auto level_db = [&](int from, int count) {
        double sum = 0.0;
        for (int n = from; n < from + count; ++n) sum += double(pcm[2 * n]) * pcm[2 * n];
        return 10.0 * std::log10(sum / count);
    };
    const int inside = 2048;  // frames inside the remover at the move
    EXPECT_NEAR(level_db(moved_at, inside), level_db(moved_at - inside, inside), 1.0);
    testing::reset_plugin_state();
}

}  // namespace
}  // namespace varnolt
