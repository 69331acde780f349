#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "instance_names.h"
#include "processors/tape_control.h"
#include "processors/tape_processor.h"
#include "settings/parameters.h"
#include "test_support.h"

namespace varnolt {
namespace {

// This file's own instance, which its tests and helpers work on; each test starts it afresh.
testing::OwnInstance own;
LiveParameters& live = own.live;
ChainState& chain = own.chain;
TapeControl& tape_control = own.tape_control;
TapeState& tape_state = own.tape_state;

void reset_all() {
    own.reset_all();
}

constexpr double k_rate = 44100.0;

// Runs `input` (interleaved) through a fresh tape processor with the given working flags, as
// the chain does, and returns the interleaved output.
std::vector<double> run_tape(const std::vector<double>& input, int quality,
                             const TapeControl& flags, double rate = k_rate) {
    auto tape = std::make_unique<TapeProcessor>(tape_state, tape_control, live);
    tape->set_quality(quality);
    tape->set_sample_rate(rate);
    std::vector<double> out;
    out.reserve(input.size());
    for (double x : input) {
        tape_control = flags;
        tape->push_sample(x, true);
        out.push_back(tape->read_output());
    }
    return out;
}

TapeControl bias_only_flags() {
    TapeControl flags;
    flags.bias_active = 1;
    flags.auto_clustered = 1;
    flags.auto_bias_only = 1;
    return flags;
}

// A band-limited stand-in for broadband material: many sines with random frequencies (up to
// 18 kHz) and phases, different in each channel.
std::vector<double> broadband(int frames, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> freq(20.0, 18000.0), phase(0.0, 2 * M_PI);
    std::vector<double> f(60), p(60);
    for (int i = 0; i < 60; ++i) {
        f[i] = freq(rng);
        p[i] = phase(rng);
    }
    std::vector<double> x(2 * frames);
    for (int n = 0; n < frames; ++n)
        for (int i = 0; i < 60; ++i) {
            x[2 * n] += 200.0 * std::sin(2 * M_PI * f[i] * n / k_rate + p[i]);
            x[2 * n + 1] += 150.0 * std::cos(2 * M_PI * f[i] * 1.01 * n / k_rate + p[i]);
        }
    return x;
}

std::vector<double> sine(int frames, double frequency, double amplitude) {
    std::vector<double> x(2 * frames);
    for (int n = 0; n < frames; ++n)
        x[2 * n] = x[2 * n + 1] = amplitude * std::sin(2 * M_PI * frequency * n / k_rate);
    return x;
}

class TapeProcessorTest : public ::testing::Test {
  protected:
    void SetUp() override { reset_all(); }
    void TearDown() override { reset_all(); }
};

TEST_F(TapeProcessorTest, ConstructionSetsGeometryTablesAndDefaults) {
    live.values.pre_amplifier_left = 3.0;
    live.values.bands[4].right = 0.5;
    live.values.dolby_strength = 2.0;
    TapeProcessor tape(tape_state, tape_control, live);
    EXPECT_EQ(tape.quality(), 1);
    EXPECT_EQ(tape.hop(), 3072);
    EXPECT_EQ(tape.latency(), 4096);
    EXPECT_EQ(live.values.pre_amplifier_left, 1.0);
    EXPECT_EQ(live.values.bands[4].right, 1.0);
    EXPECT_EQ(live.values.dolby_strength, 1.0);
    EXPECT_EQ(live.values.attack_speed, 4.565376186997809e-6);
    EXPECT_EQ(live.values.decay_speed, 0.00021000000000004349);
    EXPECT_EQ(tape_control.auto_clustered, 1);
    EXPECT_EQ(tape_control.auto_bias_only, 1);
    EXPECT_EQ(tape_control.bias_active, 0);
    // The band index of each bin.
    const struct {
        int first, last, band;
    } ranges[] = {{0, 10, 2},    {11, 21, 3},   {22, 47, 4},   {48, 101, 5},
                  {102, 219, 6}, {220, 474, 7}, {475, 1023, 8}};
    for (const auto& r : ranges)
        for (int k = r.first; k <= r.last; ++k)
            ASSERT_EQ(static_cast<int>(tape_state.band_position[k]), r.band) << k;
    for (int f = 1; f <= 8; ++f)
        EXPECT_DOUBLE_EQ(tape_state.emphasis[f] * tape_state.de_emphasis[f], 1.0);
}

TEST_F(TapeProcessorTest, RateShiftCountsQuarterOctaves) {
    const struct {
        double rate;
        int shift;
    } cases[] = {{44100, 0},  {48000, 0},  {96000, 4},  {192000, 8},
                 {22050, -4}, {11025, -8}, {32000, -2}, {88200, 4}};
    for (const auto& c : cases) EXPECT_EQ(rate_shift_for(c.rate), c.shift) << c.rate;
}

// Unit gains everywhere reproduce the input 4096 samples later; only the overlap frames carry
// the window/fade ripple, which stays between 0.9926 and 1.
TEST_F(TapeProcessorTest, UnitGainsReproduceTheInputDelayedBy4096Samples) {
    for (int quality : {0, 1, 2}) {
        SCOPED_TRACE(quality);
        for (const std::vector<double>& input :
             {broadband(20000, 11), sine(20000, 100.0, 8000.0), sine(20000, 1000.0, 8000.0),
              sine(20000, 5000.0, 8000.0), sine(20000, 15000.0, 8000.0)}) {
            reset_all();
            const std::vector<double> out = run_tape(input, quality, bias_only_flags());
            const double peak = *std::max_element(input.begin(), input.end());
            double worst = 0.0;
            for (std::size_t n = 2 * 4096 + 8192; n < input.size(); ++n) {
                const double x = input[n - 4096];
                // The output lies between 0.9926 x and x, plus a little for the omitted N/2 bin.
                const double low = std::min(x, 0.9926 * x), high = std::max(x, 0.9926 * x);
                const double outside = std::max({0.0, low - out[n], out[n] - high});
                worst = std::max(worst, outside);
            }
            EXPECT_LT(worst, 2e-3 * peak);
        }
    }
}

TEST_F(TapeProcessorTest, ClusteredRulesOnTheStatedExamples) {
    double applied[9];
    const double peak[9] = {0, 1, 1.5, 1, 1, 1, 1, 1, 1};
    apply_factor_rules(peak, true, false, true, applied);
    for (int f = 1; f <= 8; ++f) EXPECT_DOUBLE_EQ(applied[f], 1.0) << f;

    const double dip[9] = {0, 1.5, 1.5, 1, 1.5, 1.5, 1.5, 1.5, 1.5};
    apply_factor_rules(dip, true, false, true, applied);
    for (int f = 1; f <= 8; ++f) EXPECT_NEAR(applied[f], 1.5 * 3.0 / 3.5, 1e-12) << f;

    const double even[9] = {0, 1.3, 1.3, 1.3, 1.3, 1.3, 1.3, 1.3, 1.3};
    apply_factor_rules(even, true, true, false, applied);
    for (int f = 1; f <= 8; ++f) EXPECT_DOUBLE_EQ(applied[f], 1.0) << f;

    // Without "clustered" the factors pass as they are (after "bias only").
    const double slope[9] = {0, 1.2, 1.2, 1.2, 1.2, 1.44, 1.8, 2.4, 1.2};
    apply_factor_rules(slope, true, true, false, applied);
    const double expected[9] = {0, 1, 1, 1, 1, 1.2, 1.5, 2.0, 1};
    for (int f = 1; f <= 8; ++f) EXPECT_NEAR(applied[f], expected[f], 1e-12) << f;
}

TEST_F(TapeProcessorTest, AutoAdjustRaisesTheWeakerChannelOfABand) {
    // Right channel 6 dB lower in every band; auto-adjust right, neither rule.
    std::vector<double> input = broadband(40000, 5);
    for (std::size_t n = 0; n < input.size(); n += 2) input[n + 1] = 0.5 * input[n];
    TapeControl flags = bias_only_flags();
    flags.auto_right = 1;
    flags.auto_bias_only = 0;
    flags.auto_clustered = 0;
    run_tape(input, 1, flags);
    for (int f = 3; f <= 8; ++f) {
        EXPECT_EQ(tape_state.auto_factor[f][0], 1.0) << f;
        EXPECT_GT(tape_state.auto_factor[f][1], 1.3) << f;
        EXPECT_LE(tape_state.auto_factor[f][1], 2.0) << f;
    }
}

TEST_F(TapeProcessorTest, SilenceKeepsTheAutomaticFactors) {
    TapeControl flags = bias_only_flags();
    flags.auto_left = 1;
    std::vector<double> input = broadband(30000, 9);
    for (std::size_t n = 0; n < input.size(); n += 2) input[n] *= 0.6;
    auto tape = std::make_unique<TapeProcessor>(tape_state, tape_control, live);
    tape->set_sample_rate(k_rate);
    auto push_all = [&](const std::vector<double>& samples) {
        for (double x : samples) {
            tape_control = flags;
            tape->push_sample(x, true);
        }
    };
    push_all(input);
    push_all(std::vector<double>(4 * 4096, 0.0));  // let the last of the signal leave the blocks
    double before[9];
    for (int f = 1; f <= 8; ++f) before[f] = tape_state.auto_factor[f][0];
    push_all(std::vector<double>(60000, 0.0));
    for (int f = 1; f <= 8; ++f)
        EXPECT_NEAR(tape_state.auto_factor[f][0], before[f], 1e-9 * before[f]) << f;
}

TEST_F(TapeProcessorTest, WithBiasOffGainsAndFactorsAreOne) {
    live.values.pre_amplifier_left = 2.0;
    live.values.bands[3].right = 4.0;
    const std::vector<double> input = sine(12000, 440.0, 5000.0);
    TapeControl flags;  // bias off, Dolby off: the processor still runs when the chain says so
    const std::vector<double> out = run_tape(input, 2, flags);
    live.values.pre_amplifier_left = 2.0;  // the constructor reset it
    for (int f = 1; f <= 8; ++f) EXPECT_EQ(tape_state.applied_factor[f][0], 1.0);
    for (std::size_t n = 16384; n < input.size(); ++n)
        ASSERT_NEAR(out[n], input[n - 4096], 0.008 * 5000.0) << n;
}

TEST_F(TapeProcessorTest, BandGainsShapeTheirOwnBandsOnly) {
    // Band 4 (centred on bin 2^(5/0.9), about 1013 Hz) doubled on the left channel: a tone at
    // its centre doubles, one at 5 kHz does not.
    auto measure = [&](double frequency) {
        reset_all();
        const std::vector<double> input = sine(30000, frequency, 3000.0);
        auto tape = std::make_unique<TapeProcessor>(tape_state, tape_control, live);
        live.values.bands[4].left = 2.0;
        tape->set_sample_rate(k_rate);
        double peak_left = 0.0, peak_right = 0.0;
        for (std::size_t n = 0; n < input.size(); ++n) {
            tape_control = bias_only_flags();
            tape->push_sample(input[n], true);
            const double y = tape->read_output();
            if (n > 30000)
                (n % 2 ? peak_right : peak_left) =
                    std::max(n % 2 ? peak_right : peak_left, std::fabs(y));
        }
        return peak_left / peak_right;
    };
    EXPECT_NEAR(measure(std::pow(2.0, 5.0 / 0.9) * k_rate / 2048), 2.0, 0.05);
    EXPECT_NEAR(measure(5000.0), 1.0, 0.01);
}

}  // namespace
}  // namespace varnolt
