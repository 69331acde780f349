#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <utility>
#include <vector>

#include "chain/chain.h"
#include "instance_names.h"
#include "processors/processor.h"
#include "processors/processor_set.h"
#include "processors/tape_control.h"
#include "settings/parameters.h"
#include "test_support.h"
#include "ui/plugin_state.h"

namespace varnolt {
namespace {

// This file's own instance, which its tests and helpers work on; each test starts it afresh.
testing::OwnInstance own;
Instance& instance = own.instance;
LiveParameters& live = own.live;
ChainState& chain = own.chain;
ProcessorSet& processors = own.processors;
TapeControl& tape_control = own.tape_control;

void reset_all() {
    own.reset_all();
}

class Chain : public ::testing::Test {
  protected:
    void SetUp() override { reset_all(); }
    void TearDown() override { reset_all(); }

    static void all_stages_off() {
        live.values.bias_enabled = 0;
        live.values.dolby_enabled = 0;
        live.values.fm_enabled = 0;
        live.values.singleband_enabled = 0;
        live.azimuth_enabled = 0;
    }
};

TEST_F(Chain, WithEveryStageOffTheOutputIsTheInputTimesPostGainWithoutDelay) {
    all_stages_off();
    live.values.post_amplifier = 1.5;
    std::vector<double> input;
    for (int n = 0; n < 40; ++n) input.push_back(100.0 * (n + 1) * (n % 2 ? -1 : 1));
    for (std::size_t n = 0; n < input.size(); ++n) {
        const double input_peak_before = chain.input_peak[n % 2];
        EXPECT_EQ(chain_sample(instance, input[n], 44100), input[n] * 1.5) << n;
        // The dry line is two calls long: the meter sees this channel's previous sample.
        const double dry = n >= 2 ? std::fabs(input[n - 2]) : 0.0;
        EXPECT_EQ(chain.input_peak[n % 2], std::max(input_peak_before, dry)) << n;
        EXPECT_EQ(chain.output_peak[n % 2], std::fabs(input[n] * 1.5)) << n;
    }
}

TEST_F(Chain, MonoGivesBothSamplesOfAFrameTheMeanOfOneFrameOneFrameLate) {
    all_stages_off();
    live.mono = 1;
    auto left = [](int frame) { return 100.0 * (frame + 1); };
    auto right = [](int frame) { return 1000.0 - 30.0 * frame; };
    for (int frame = 0; frame < 10; ++frame) {
        const double l = chain_sample(instance, left(frame), 44100);
        const double r = chain_sample(instance, right(frame), 44100);
        // The left sample leaves before the right one of its frame has come: frame n carries
        // the mix of frame n - 1 (silence before the first).
        const double expected = frame == 0 ? 0.0 : (left(frame - 1) + right(frame - 1)) / 2;
        EXPECT_EQ(l, expected) << frame;
        EXPECT_EQ(r, expected) << frame;
    }
}

TEST_F(Chain, SwitchesChangeOnlyAtFrameBoundaries) {
    all_stages_off();
    live.values.post_amplifier = 2.0;
    EXPECT_EQ(chain_sample(instance, 10.0, 44100), 20.0);
    live.values.post_amplifier = 3.0;  // the window changes it between left and right
    EXPECT_EQ(chain_sample(instance, 10.0, 44100), 20.0);
    EXPECT_EQ(chain_sample(instance, 10.0, 44100), 30.0);
}

// Installs plain framework processors where the tape and stereo objects go; each twin gets the
// same pushes the chain should make, so the chain's wiring can be checked against it.
class ChainWithProcessors : public Chain {
  protected:
    void SetUp() override {
        Chain::SetUp();
        processors.tape = new Processor;
        processors.stereo = new Processor;
        processors.tone = new Processor;
        // The stereo processor's own geometry: 1024-frame overlap, 2048-sample hop, 4096 latency.
        processors.stereo->set_quality(0);
    }
};

TEST_F(ChainWithProcessors, TapeStageWorksOnInputOverPcVolumeAndMultipliesBack) {
    all_stages_off();
    live.values.bias_enabled = 1;
    live.values.pc_recording_volume = 2.0;
    Processor twin;
    twin.set_quality(1);
    for (int n = 0; n < 9000; ++n) {
        const double x = std::sin(n * 0.01) * 10000.0;
        twin.push_sample(x / 2.0, true);
        ASSERT_EQ(chain_sample(instance, x, 48000), twin.read_output() * 2.0) << n;
    }
    EXPECT_EQ(processors.tape->sample_rate(), 48000.0);
    EXPECT_EQ(processors.tone->filled(), 0) << "the tone analyser is fed only while shown";
}

TEST_F(ChainWithProcessors, AVolumePerChannelReplacesTheSettingForItsChannelOnly) {
    all_stages_off();
    live.values.dolby_enabled = 1;
    live.values.pc_recording_volume = 3.0;
    Processor twin;
    twin.set_quality(1);
    const double volume[2] = {2.0, 0.5};
    instance.chain.channel_pc_volume[0] = volume[0];
    instance.chain.channel_pc_volume[1] = volume[1];
    for (int n = 0; n < 9000; ++n) {
        const int channel = n % 2;
        const double x = std::sin(n * 0.01) * 10000.0;
        twin.push_sample(x / volume[channel], true);
        ASSERT_EQ(chain_sample(instance, x, 44100), twin.read_output() * volume[channel]) << n;
    }
}

// The slider may move, or a measured level be held, while samples are inside the tape processor:
// each comes out multiplied by the volume it was divided by, so the level does not jump.
TEST_F(ChainWithProcessors, SamplesInsideTheTapeProcessorLeaveAtTheVolumeTheyWentInWith) {
    all_stages_off();
    live.values.dolby_enabled = 1;
    live.values.pc_recording_volume = 1.0;
    Processor twin;
    twin.set_quality(1);
    std::vector<double> went_in;  // the volume of every call, in order
    auto call = [&](int n) {
        const int channel = n % 2;
        const double x = std::sin(n * 0.01) * 10000.0;
        const double volume = instance.chain.channel_pc_volume[channel] != 0.0
                                  ? instance.chain.channel_pc_volume[channel]
                                  : live.values.pc_recording_volume.load();
        went_in.push_back(volume);
        twin.push_sample(x / volume, true);
        const double y = chain_sample(instance, x, 44100);
        const int latency = processors.tape->latency();
        // Before the first sample has come through, the ring gives silence at any volume.
        const double out_volume = n >= latency ? went_in[n - latency] : volume;
        ASSERT_EQ(y, twin.read_output() * out_volume) << n;
    };
    int n = 0;
    for (; n < 9000; ++n) call(n);
    set_channel_pc_volumes(instance, 2.0, 0.5);
    for (; n < 18000; ++n) call(n);
    set_channel_pc_volumes(instance, 0.0, 0.0);  // back to the setting
    for (; n < 27000; ++n) call(n);
    // The slider, moved every 1000 calls, faster than samples pass through.
    for (; n < 40000; ++n) {
        if (n % 1000 == 0) live.values.pc_recording_volume = 0.5 + (n / 1000) % 7 * 0.4;
        call(n);
    }
}

TEST_F(ChainWithProcessors, StagesInSeriesAndTheDryLineFollowTheirLatency) {
    all_stages_off();
    live.values.bias_enabled = 1;
    live.azimuth_enabled = 1;
    live.show_tone_level = 1;
    std::vector<double> input;
    for (int n = 0; n < 20000; ++n) input.push_back((n % 7) * 1000.0 + n * 0.01);
    Processor tape_twin, stereo_twin;
    tape_twin.set_quality(1);
    stereo_twin.set_quality(0);
    for (std::size_t n = 0; n < input.size(); ++n) {
        tape_twin.push_sample(input[n], true);
        stereo_twin.push_sample(tape_twin.read_output(), true);
        ASSERT_EQ(chain_sample(instance, input[n], 44100), stereo_twin.read_output()) << n;
    }
    EXPECT_GT(processors.tone->filled() + processors.tone->output_ready(), 0);
    // L = 4096 + 4096: the slot read next holds the input of 8192 calls ago.
    EXPECT_EQ(chain.dry[chain.dry_index], input[input.size() - 8192]);
}

TEST_F(ChainWithProcessors, QualityChangesReachTheTapeProcessorAtTheNextLeftSample) {
    live.values.quality = 0;
    chain_sample(instance, 1.0, 44100);
    EXPECT_EQ(processors.applied_quality, 0);
    EXPECT_EQ(processors.tape->quality(), 0);
    EXPECT_EQ(processors.tape->hop(), 2048);
    EXPECT_EQ(processors.stereo->quality(), 0);
    EXPECT_EQ(processors.stereo->hop(), 2048) << "the stereo processor keeps its geometry";
    live.values.quality = 2;
    chain_sample(instance, 1.0, 44100);
    EXPECT_EQ(processors.tape->hop(), 2048) << "a right sample never restarts the intake";
    chain_sample(instance, 1.0, 44100);
    EXPECT_EQ(processors.tape->hop(), 3584);
    EXPECT_FALSE(processors.tape->output_ready()) << "the re-configured processor starts over";
}

TEST_F(ChainWithProcessors, ControlFlagsFollowTheSwitchesAndTheProcessingMode) {
    live.values.dolby_enabled = 1;
    live.values.dolby_difference = 1;
    live.values.auto_adjust_right = 5;
    live.values.left_relative_to_right = 0;
    live.processing_mode = k_mode_full;
    chain_sample(instance, 1.0, 44100);
    EXPECT_EQ(tape_control.dolby_active, 1);
    EXPECT_EQ(tape_control.dolby_difference, 1);
    EXPECT_EQ(tape_control.bias_active, 1);
    EXPECT_EQ(tape_control.auto_right, 1);
    EXPECT_EQ(tape_control.left_relative_to_right, 0);
    EXPECT_EQ(tape_control.auto_clustered, 1);
    chain_sample(instance, 1.0, 44100);
    live.processing_mode = k_mode_without_dolby;
    chain_sample(instance, 1.0, 44100);
    EXPECT_EQ(tape_control.dolby_active, 0) << "mode 2 runs the stage without the remover";
    EXPECT_GT(processors.tape->filled(), 2);
}

TEST_F(ChainWithProcessors, AStageSwitchedOffIsNeitherFedNorRead) {
    all_stages_off();
    for (int n = 0; n < 100; ++n) chain_sample(instance, 5.0, 44100);
    EXPECT_EQ(processors.tape->filled(), 0);
    EXPECT_EQ(processors.stereo->filled(), 0);
}

TEST_F(ChainWithProcessors, AZeroPcRecordingVolumeDoesNotPoisonTheOutput) {
    all_stages_off();
    live.values.bias_enabled = 1;
    live.values.pc_recording_volume = 0.0;
    for (int n = 0; n < 10000; ++n)
        ASSERT_TRUE(std::isfinite(chain_sample(instance, 1000.0, 44100))) << n;
}

// A block processor that leaves its signal alone: each block hands on the samples pushed 2E
// before it, as a block that is not processed does, so its output is its input at its latency.
class PassingProcessor : public Processor {
  public:
    void process_block() override {
        const int delay = 2 * geometry().overlap;
        const int hop = geometry().hop;
        const double* in = block_intake();
        for (int i = 0; i < hop; ++i)
            write_output(i >= delay ? in[i - delay] : before_[k_before + i - delay]);
        for (int i = 0; i < delay; ++i) before_[k_before - delay + i] = in[hop - delay + i];
    }

  private:
    static constexpr int k_before = k_block_frames;  // 2E at the highest quality
    double before_[k_before] = {};                   // the last samples of the block before
};

class ChainWithPassingProcessors : public Chain {
  protected:
    void SetUp() override {
        Chain::SetUp();
        processors.tape = new PassingProcessor;
        processors.stereo = new PassingProcessor;
        processors.tone = new Processor;
        processors.stereo->set_quality(0);
    }
};

// The steady path with processors that pass their input through at their latency: every
// switch, quality change and bypass at odd places leaves the output exactly the input, the
// steady delay later. A dry line shorter or longer than its processor, or a fade that starts
// before the processor's output is its fresh input's, would show here as a difference.
TEST_F(ChainWithPassingProcessors, TheSteadyPathKeepsOneDelayWhateverIsSwitched) {
    chain.steady.on = true;
    all_stages_off();
    const auto input = [](int n) { return std::sin(n * 0.0123) * 10000.0 + (n % 3) * 7.0; };
    struct Flip {
        int at;  // chain call
        void (*apply)();
    };
    const Flip flips[] = {
        {5001, [] { live.values.bias_enabled = 1; }},
        {9003, [] { live.azimuth_enabled = 1; }},
        {21007, [] { live.values.quality = 2; }},
        {40011, [] { live.processing_mode = k_mode_bypass; }},
        {41013, [] { live.values.bias_enabled = 0; }},
        {43001, [] { live.processing_mode = k_mode_full; }},
        {45005, [] { live.values.bias_enabled = 1; }},
        {47009, [] { live.values.quality = 0; }},
        {48001, [] { live.azimuth_enabled = 0; }},
    };
    const Flip* next = flips;
    for (int n = 0; n < 90000; ++n) {
        if (next != std::end(flips) && n == next->at) (next++)->apply();
        const double expected = n >= k_steady_delay_calls ? input(n - k_steady_delay_calls) : 0.0;
        ASSERT_EQ(chain_sample(instance, input(n), 44100), expected) << n;
    }
    EXPECT_EQ(output_delay_calls(instance), k_steady_delay_calls);
    EXPECT_EQ(processors.applied_quality, 0);
    EXPECT_GT(processors.tape->filled() + processors.stereo->filled(), 0) << "the stages ran";
}

// In bypass the steady path runs its stages on as they will be heard when bypass ends: the
// Dolby B remover too, which the processing without it leaves out.
TEST_F(ChainWithPassingProcessors, TheSteadyPathRunsTheRemoverOnInBypass) {
    chain.steady.on = true;
    live.values.dolby_enabled = 1;
    for (const auto& [mode, active] : {std::pair{k_mode_bypass, 1}, std::pair{k_mode_full, 1},
                                       std::pair{k_mode_without_dolby, 0}}) {
        live.processing_mode = mode;
        chain_sample(instance, 1.0, 44100);
        chain_sample(instance, 1.0, 44100);
        EXPECT_EQ(tape_control.dolby_active, active) << mode;
    }
}

// The real processors' latency at every quality, spread as the steady path spreads them from
// its first sample, is the one the steady path's dry lines have.
TEST(SteadyPath, TheDryLinesMatchTheProcessorsAtEveryQuality) {
    reset_all();
    create_processors(instance);
    chain.steady.on = true;
    chain_sample(instance, 0.0, 44100);
    EXPECT_TRUE(processors.tape->spreads());
    EXPECT_TRUE(processors.stereo->spreads());
    for (int quality : {k_quality_high, k_quality_normal, k_quality_low}) {
        processors.tape->set_quality(quality);
        EXPECT_EQ(processors.tape->latency(), k_stage_latency_calls) << quality;
        EXPECT_LE(processor_warmup_calls(*processors.tape), 2 * k_stage_latency_calls + 4096);
    }
    EXPECT_EQ(processors.stereo->latency(), k_stage_latency_calls);
    EXPECT_EQ(k_steady_delay_calls, 12290) << "6145 frames: one block (2048 frames) more than the "
                                              "player's longest delay";
    destroy_processors(instance);
    reset_all();
}

}  // namespace
}  // namespace varnolt
