// The window thread changes switches at any moment, also between the left and the right sample
// of a frame. Whatever starts, stops or restarts a processor's intake must wait for the next
// frame, or that processor treats right as left from then on.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "chain/chain.h"
#include "instance_names.h"
#include "processors/processor.h"
#include "processors/processor_set.h"
#include "processors/tone_analyzer.h"
#include "settings/parameters.h"
#include "test_support.h"

namespace varnolt {
namespace {

// This file's own instance, which its tests and helpers work on; each test starts it afresh.
testing::OwnInstance own;
Instance& instance = own.instance;
LiveParameters& live = own.live;
ProcessorSet& processors = own.processors;
ToneState& tone_state = own.tone_state;

void reset_all() {
    own.reset_all();
}

constexpr double k_rate = 44100.0;
constexpr double k_pi = 3.14159265358979323846;

struct ChannelPower {
    double left = 0.0;
    double right = 0.0;
    double ratio() const { return std::sqrt(left / right); }
};

class FrameBoundary : public ::testing::Test {
  protected:
    void SetUp() override { start_with_every_stage_off(); }
    void TearDown() override { reset_all(); }

    static void start_with_every_stage_off() {
        reset_all();
        create_processors(
            instance);  // the stereo processor's defaults switch the azimuth correction on
        live.values.bias_enabled = 0;
        live.values.dolby_enabled = 0;
        live.values.fm_enabled = 0;
        live.values.singleband_enabled = 0;
        live.azimuth_enabled = 0;
    }

    // Streams `frames` frames of a tone, the left input `left_gain` times the right. `toggle`
    // runs once, between the left and the right sample of frame `toggle_frame`. Returns the
    // output power of the last `measured` frames.
    static ChannelPower stream(int frames, int toggle_frame, const std::function<void()>& toggle,
                               double hz = 1000.0, double left_gain = 2.0, int measured = 22050) {
        ChannelPower power;
        for (int n = 0; n < frames; ++n) {
            const double x = 3000.0 * std::sin(2 * k_pi * hz * n / k_rate);
            const double left = chain_sample(instance, left_gain * x, k_rate);
            if (n == toggle_frame) toggle();
            const double right = chain_sample(instance, x, k_rate);
            if (n >= frames - measured) {
                power.left += left * left;
                power.right += right * right;
            }
        }
        return power;
    }
};

TEST_F(FrameBoundary, AQualityChangeBetweenLeftAndRightKeepsTheChannels) {
    // Equal inputs; the left pre-amplifier doubles the left channel.
    live.values.bias_enabled = 1;
    live.values.left_relative_to_right = 0;
    live.values.pre_amplifier_left = 2.0;
    for (int quality : {0, 2}) {
        const ChannelPower out = stream(
            4 * 44100, 44100 + quality, [quality] { live.values.quality = quality; }, 1000.0, 1.0);
        EXPECT_NEAR(out.ratio(), 2.0, 0.05) << "quality " << quality;
        EXPECT_EQ(processors.tape->quality(), quality);
        EXPECT_EQ(processors.tape->filled() % 2, 0) << "a left sample starts every block";
    }
}

TEST_F(FrameBoundary, SwitchingTheStereoFeedBetweenLeftAndRightKeepsTheChannels) {
    const struct {
        const char* name;
        relaxed<flag>* on;
    } feeds[] = {{"azimuth", &live.azimuth_enabled}, {"FM filter", &live.values.fm_enabled}};
    for (const auto& feed : feeds) {
        start_with_every_stage_off();
        relaxed<flag>* on = feed.on;
        const ChannelPower out = stream(3 * 44100, 20001, [on] { *on = 1; });
        EXPECT_NEAR(out.ratio(), 2.0, 0.05) << feed.name;
        // The stereo processor is symmetric for this signal, so look at its intake: after a
        // whole frame it must hold an even count, the next sample being a left one.
        EXPECT_EQ(processors.stereo->filled() % 2, 0) << feed.name;
        // Switched off mid-frame as well: the signal then passes straight through.
        const ChannelPower after = stream(44100, 100, [on] { *on = 0; });
        EXPECT_NEAR(after.ratio(), 2.0, 1e-9) << feed.name;
    }
}

TEST_F(FrameBoundary, TheToneDisplayFeedSwitchedBetweenLeftAndRightKeepsTheChannels) {
    live.values.bias_enabled = 1;
    stream(
        2 * 44100, 30001, [] { live.show_tone_level = 1; }, 2000.0);
    // 2 kHz lies between bins 92 and 93; the left channel is twice as strong.
    const ToneBin& bin = tone_state.tone_spectrum[93];
    ASSERT_GT(bin.right, 100.0);
    EXPECT_NEAR(bin.left / bin.right, 2.0, 0.01);
    EXPECT_EQ(processors.tone->filled() % 2, 0);
}

}  // namespace
}  // namespace varnolt
