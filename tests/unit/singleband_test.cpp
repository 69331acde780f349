#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "instance_names.h"
#include "processors/singleband.h"
#include "test_support.h"

namespace varnolt {
namespace {

class SinglebandTest : public ::testing::Test, public testing::OwnInstance {
  protected:
    void SetUp() override {
        reset_all();
        compressor = std::make_unique<Singleband>(singleband_state);
    }
    void TearDown() override { reset_all(); }

    double run(double x) {
        compressor->compress_sample(x, true);
        return compressor->compressed_output();
    }

    std::unique_ptr<Singleband> compressor;
};

TEST_F(SinglebandTest, ConstructionValues) {
    const SinglebandState& s = singleband_state;
    EXPECT_EQ(s.target_level, 163);
    EXPECT_EQ(s.gain, 1.0);
    EXPECT_EQ(s.release_ramp, 1.0);
    EXPECT_EQ(s.attack_rate, 0.05);
    EXPECT_EQ(s.release_rate, 0.00002);
    EXPECT_EQ(s.reference_gain, 1.0);
    EXPECT_EQ(s.min_gain, 0.0);
}

TEST_F(SinglebandTest, SilenceGivesZeroAndTheGainCreepsBack) {
    singleband_state.gain = 0.5;
    double previous = 0.5;
    for (int n = 0; n < 1000; ++n) {
        ASSERT_EQ(run(0.0), 0.0);
        ASSERT_GE(singleband_state.gain, previous);
        previous = singleband_state.gain;
    }
    EXPECT_GT(singleband_state.gain, 0.5);
    EXPECT_LT(singleband_state.gain, 1.0);
}

TEST_F(SinglebandTest, QuietSamplesAreLiftedByExactlyAHundred) {
    for (double x : {0.0, 1.0, -50.0, 163.0, -163.0}) EXPECT_DOUBLE_EQ(run(x), 100.0 * x) << x;
}

TEST_F(SinglebandTest, ALoudConstantSettlesNearTheTarget) {
    const double a = 5000.0;
    double out = 0.0;
    for (int n = 0; n < 400000; ++n) out = run(n % 2 ? a : -a);
    EXPECT_GT(singleband_state.gain, 163.0 / a);
    EXPECT_LT(singleband_state.gain, 1.01 * 163.0 / a);
    EXPECT_NEAR(std::fabs(out), 16300.0, 0.01 * 16300.0);
}

// The attack takes a few samples to bring the gain down; meanwhile what leaves is held at full
// scale, while the gain moves exactly as it would unbounded.
TEST_F(SinglebandTest, AJumpFromSilenceIsHeldAtFullScaleUntilTheAttackBites) {
    double gain = 1.0;
    int held = 0;
    for (int n = 0; n < 200; ++n) {
        const double y = run(n % 2 ? -10000.0 : 10000.0);
        // The attack's step and the release's at a ramp that restarts at every attack.
        gain = 0.95 * gain + 0.05 * 163.0 / 10000.0;
        gain = gain * (1.0 - 0.00002 * 0.00004) + 0.00002 * 0.00004;
        ASSERT_NEAR(singleband_state.gain, gain, 1e-12) << n;
        const double unbounded = gain * 100.0 * 10000.0;
        if (unbounded > 32768.0) {
            ASSERT_EQ(std::fabs(y), 32768.0) << n;
            ++held;
        } else {
            ASSERT_NEAR(std::fabs(y), unbounded, 1e-9) << n;
        }
    }
    // 0.95^n of the way from 1 down to 163 / 10000: 79 samples, 0.9 ms at 44.1 kHz stereo.
    EXPECT_EQ(held, 79) << "the samples the attack needs to come below full scale";
    EXPECT_LT(run(10000.0), 1.1 * 16300.0);
}

TEST_F(SinglebandTest, OneGainForBothChannels) {
    double right = 0.0;
    for (int n = 0; n < 100000; ++n) {
        run(8000.0);         // loud left
        right = run(100.0);  // quiet right
    }
    EXPECT_LT(right, 0.1 * 100.0 * 100.0) << "the loud left channel lowers the right one too";
}

TEST_F(SinglebandTest, ResetJumpsTheGainBackToOne) {
    for (int n = 0; n < 1000; ++n) run(9000.0);
    ASSERT_LT(singleband_state.gain, 0.1);
    compressor->reset_defaults();
    // RESET comes from the window thread: the playback thread puts it in force at its next
    // sample, and levels that sample with the fresh gain.
    EXPECT_LT(singleband_state.gain, 0.1) << "nothing the playback thread owns changed yet";
    compressor->compress_sample(0.0, false);
    EXPECT_EQ(singleband_state.gain, 1.0);
    EXPECT_EQ(singleband_state.release_ramp, 1.0);
    compressor->compress_sample(0.0, false);
    EXPECT_EQ(singleband_state.gain, 1.0) << "asked once, reset once";
}

TEST_F(SinglebandTest, InactiveSamplesPassAndChangeNothing) {
    singleband_state.gain = 0.3;
    compressor->compress_sample(20000.0, false);
    EXPECT_EQ(compressor->compressed_output(), 20000.0);
    EXPECT_EQ(singleband_state.gain, 0.3);
}

TEST_F(SinglebandTest, AnOverflowedSampleIsLevelledAndLeavesEveryValueANumber) {
    // A gain of 1e308 before the compressor delivers inf; its output is kept while the stage is
    // off, so neither the output nor the gain may take the overflow.
    for (int n = 0; n < 2000; ++n) {
        const double y = run(n % 2 ? INFINITY : -INFINITY);
        ASSERT_TRUE(std::isfinite(y)) << n;
        ASSERT_TRUE(std::isfinite(singleband_state.gain)) << n;
    }
    EXPECT_LT(singleband_state.gain, 1e-6) << "pulled down as for the loudest sample there is";
    EXPECT_EQ(run(NAN), 0.0) << "a NaN is silence";
    EXPECT_TRUE(std::isfinite(singleband_state.gain));
    for (int n = 0; n < 400000; ++n) run(n % 2 ? 5000.0 : -5000.0);
    EXPECT_NEAR(std::fabs(run(5000.0)), 16300.0, 0.01 * 16300.0) << "and levels as before";
    compressor->compress_sample(-INFINITY, false);
    EXPECT_TRUE(std::isfinite(compressor->compressed_output())) << "inactive too";
}

}  // namespace
}  // namespace varnolt
