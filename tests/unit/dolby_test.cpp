#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "instance_names.h"
#include "processors/dolby_stage.h"
#include "processors/dolby_table.h"
#include "processors/tape_control.h"
#include "processors/tape_processor.h"
#include "reference/dolby_stage.h"
#include "settings/parameters.h"
#include "test_support.h"

namespace varnolt {
namespace {

// This file's own instance, which its tests and helpers work on; each test starts it afresh.
testing::OwnInstance own;
LiveParameters& live = own.live;
TapeControl& tape_control = own.tape_control;
TapeState& tape_state = own.tape_state;

void reset_all() {
    own.reset_all();
}

constexpr double k_rate = 44100.0;

class DolbyStage : public ::testing::Test {
  protected:
    void SetUp() override { reset_all(); }
    void TearDown() override { reset_all(); }

    // Pushes a stereo sine through a fresh tape processor with the Dolby stage as given and
    // returns the output's peak over the last half, per input peak.
    static double tone_gain(double frequency, double amplitude, bool dolby_on,
                            bool difference = false) {
        reset_all();
        auto tape = std::make_unique<TapeProcessor>(tape_state, tape_control, live);
        tape->set_sample_rate(k_rate);
        TapeControl flags;
        flags.dolby_active = dolby_on;
        flags.dolby_difference = difference;
        const int frames = 60000;
        double peak = 0.0;
        for (int n = 0; n < frames; ++n) {
            const double x = amplitude * std::sin(2 * M_PI * frequency * n / k_rate);
            for (int ch = 0; ch < 2; ++ch) {
                tape_control = flags;
                tape->push_sample(x, true);
                const double y = tape->read_output();
                if (n > frames / 2) peak = std::max(peak, std::fabs(y));
            }
        }
        return peak / amplitude;
    }
};

// The table rules of the plain per-frame loop (tests/reference), which the equivalence tests
// hold the processor's loop to.
TEST(PlainDolbyLoop, RowsFollowTheSidechainLevel) {
    const struct {
        double level;
        int lower, upper;
        double t;
    } cases[] = {
        {0.0, 0, 0, 0.0},
        {39.9, 0, 0, 0.0},
        {40.0, 0, 1, 0.0},
        {46.14, 0, 1, 0.5},
        {1254.9, 8, 9, (1254.9 - 692.34) / (1255 - 692.34)},
        {1750.0, 10, 10, 0.0},
        {1e9, 10, 10, 0.0},
        {-5.0, 0, 0, 0.0},
    };
    for (const auto& c : cases) {
        const RowBlend b = reference::dolby_row_blend(c.level);
        EXPECT_EQ(b.lower, c.lower) << c.level;
        EXPECT_EQ(b.upper, c.upper) << c.level;
        EXPECT_NEAR(b.t, c.t, 1e-12) << c.level;
    }
}

TEST_F(DolbyStage, ColumnsFollowTheBandAndTheRate) {
    EXPECT_EQ(dolby_column(2, rate_shift_for(44100)), 5);
    EXPECT_EQ(dolby_column(8, rate_shift_for(44100)), 29);
    EXPECT_EQ(dolby_column(8, rate_shift_for(96000)), 29);
    EXPECT_EQ(dolby_column(1, rate_shift_for(22050)), 1);
    EXPECT_EQ(dolby_column(2, rate_shift_for(22050)), 1);
    EXPECT_EQ(dolby_column(3, rate_shift_for(22050)), 5);
}

TEST(PlainDolbyLoop, BandGainsBlendTheRowsAtTheirColumns) {
    // Band 2 at 44100 Hz blends column 5 of the lower row with column 6 of the upper.
    const RowBlend half = {3, 4, 0.5};
    EXPECT_DOUBLE_EQ(reference::dolby_band_gain(2, half, 5, 1.0),
                     0.5 * dolby_table[3].gain[5] + 0.5 * dolby_table[4].gain[6]);
    // At 96000 Hz band 8 reads column 29 below and column 30 above.
    const RowBlend top = {0, 1, 0.25};
    EXPECT_DOUBLE_EQ(reference::dolby_band_gain(8, top, 29, 1.0), 0.75 * 0.27 + 0.25 * 0.27);
    EXPECT_EQ(reference::dolby_band_gain(1, top, 1, 1.0), 1.0) << "band 1 is never lowered";
}

TEST(PlainDolbyLoop, StrengthScalesTheGainsDistanceFromOne) {
    // Row 0 column 9 holds 0.7: strength 2 makes it 0.4, strength 0.5 makes it 0.85.
    const RowBlend row0 = {0, 0, 0.0};
    ASSERT_EQ(dolby_table[0].gain[9], 0.7);
    EXPECT_NEAR(reference::dolby_band_gain(3, row0, 9, 2.0), 0.4, 1e-12);
    EXPECT_NEAR(reference::dolby_band_gain(3, row0, 9, 0.5), 0.85, 1e-12);
    EXPECT_NEAR(reference::dolby_band_gain(3, row0, 9, 0.0), 1.0, 1e-12) << "the inactive stage";
    // A subnormal strength lowers nothing, a huge one gives a huge but finite factor.
    EXPECT_EQ(reference::dolby_band_gain(3, row0, 9, 4.9e-324), 1.0);
    EXPECT_TRUE(std::isfinite(reference::dolby_band_gain(3, row0, 9, 1e308)));
}

TEST_F(DolbyStage, AnOverflowingAttackOrDecayLeavesTheLevelAsItWas) {
    const struct {
        double s, attack, decay, level;
    } cases[] = {
        {1e3, 1e305, 0.01, 20.0},   // attack 1e305 * s^2 is inf
        {1e200, 1e-3, 0.01, 20.0},  // s^2 is inf
        {0.0, 1e-3, -1e308, 20.0},  // the decay factor grows it past every range
    };
    for (const auto& c : cases) {
        tape_state.sidechain_level[0] = c.level;
        tape_state.hold_counter[0] = -5;
        follow_sidechain(tape_state, 0, c.s, c.attack, c.decay);
        EXPECT_EQ(tape_state.sidechain_level[0], c.level) << c.s << " " << c.attack;
    }
}

TEST_F(DolbyStage, HoldDelaysTheDecayBy52Frames) {
    tape_state.sidechain_level[0] = 0.0;
    tape_state.hold_counter[0] = 0;
    follow_sidechain(tape_state, 0, 100.0, 1e-3, 0.01);  // attack: hold 50
    const double attacked = tape_state.sidechain_level[0];
    EXPECT_DOUBLE_EQ(attacked, 1e-3 * 100.0 * 100.0);
    for (int frame = 1; frame <= 51; ++frame) {
        follow_sidechain(tape_state, 0, 0.0, 1e-3, 0.01);
        ASSERT_EQ(tape_state.sidechain_level[0], attacked) << frame;
    }
    follow_sidechain(tape_state, 0, 0.0, 1e-3, 0.01);
    EXPECT_DOUBLE_EQ(tape_state.sidechain_level[0], attacked * 0.99) << "the 52nd frame decays";
}

TEST_F(DolbyStage, TheHoldCounterCannotWrapInLongSilence) {
    tape_state.hold_counter[1] = -2147483647;
    tape_state.sidechain_level[1] = 1.0;
    follow_sidechain(tape_state, 1, 0.0, 1e-3, 0.5);
    follow_sidechain(tape_state, 1, 0.0, 1e-3, 0.5);
    EXPECT_LT(tape_state.hold_counter[1], -1);
    EXPECT_DOUBLE_EQ(tape_state.sidechain_level[1], 0.25);
}

TEST_F(DolbyStage, InactiveStageLeavesTheBandSumAndDifferenceIsSilent) {
    const double difference = tone_gain(6000.0, 200.0, false, true);
    EXPECT_LT(difference, 1e-10);
    const double plain = tone_gain(6000.0, 200.0, false);
    EXPECT_NEAR(plain, 1.0, 0.01);
}

TEST_F(DolbyStage, QuietTrebleIsLoweredByTheTableAndLoudTrebleIsNot) {
    // A quiet 8 kHz tone keeps the sidechain in the lowest rows: bands 6 and 7 share it, and
    // both are lowered a lot. A loud one drives the sidechain past row 10, whose gains are 1.
    const double quiet = tone_gain(8010.35, 30.0, true);
    const double level = tape_state.sidechain_level[0];
    ASSERT_LT(level, 1750.0);
    // Expected from the row the settled level selects: the tone's bins sit at band coordinate
    // 7.69, 31% in band 6 and 69% in band 7.
    const RowBlend blend = reference::dolby_row_blend(level);
    const double position = 0.9 * std::log2(8010.35 / (k_rate / 2048));
    const double in_band7 = position - 7.0;
    const double expected =
        (1 - in_band7) * reference::dolby_band_gain(6, blend, dolby_column(6, 0), 1.0) +
        in_band7 * reference::dolby_band_gain(7, blend, dolby_column(7, 0), 1.0);
    EXPECT_NEAR(quiet, expected, 0.05 * expected);
    EXPECT_LT(quiet, 0.6);

    const double loud = tone_gain(8010.35, 12000.0, true);
    EXPECT_GE(tape_state.sidechain_level[0], 1750.0);
    EXPECT_NEAR(loud, 1.0, 0.01);

    // A quiet low tone sits in bands whose gains stay near 1.
    EXPECT_NEAR(tone_gain(150.0, 30.0, true), 1.0, 0.05);
}

TEST_F(DolbyStage, MetersCountEightBandSamplesPerFrame) {
    tone_gain(1000.0, 1000.0, false);
    EXPECT_GT(tape_state.monitor.meter_count, 0);
    EXPECT_EQ(tape_state.monitor.meter_count % 8, 0);
    EXPECT_GT(tape_state.monitor.band_meter_in[4][0], 0.0);
    EXPECT_NEAR(tape_state.monitor.band_meter_in[4][0], tape_state.monitor.band_meter_out[4][0],
                1e-9 * tape_state.monitor.band_meter_in[4][0]);
    EXPECT_GT(tape_state.monitor.sidechain_meter[1], 0.0);
}

TEST_F(DolbyStage, MetersStartOverOnlyAtTheBlockAfterTheDisplaysTookThem) {
    // The displays run on either thread while blocks add to the meters: they only say that
    // they have shown them, and the next block starts the sums over.
    reset_all();
    auto tape = std::make_unique<TapeProcessor>(tape_state, tape_control, live);
    tape->set_sample_rate(k_rate);
    TapeMonitor& monitor = tape_state.monitor;
    int blocks = 0;
    auto run_until_block = [&](int wanted) {
        for (int n = 0; blocks < wanted; ++n)
            for (int ch = 0; ch < 2; ++ch) {
                const int before = monitor.meter_count;
                tape->push_sample(1000.0 * std::sin(0.1 * n), true);
                if (monitor.meter_count != before || monitor.meters_taken == false) {
                    if (monitor.meter_count != before) ++blocks;
                }
            }
    };
    run_until_block(3);
    const int per_block = monitor.meter_count / 3;
    ASSERT_GT(per_block, 0);
    EXPECT_EQ(per_block % 8, 0);
    const double three_blocks = monitor.band_meter_in[4][0];
    monitor.meters_taken = true;
    EXPECT_EQ(monitor.meter_count, 3 * per_block) << "taking them wipes nothing";
    run_until_block(4);
    EXPECT_FALSE(monitor.meters_taken);
    EXPECT_EQ(monitor.meter_count, per_block);
    EXPECT_LT(monitor.band_meter_in[4][0], 0.5 * three_blocks);
    EXPECT_GT(monitor.band_meter_in[4][0], 0.0);
}

}  // namespace
}  // namespace varnolt
