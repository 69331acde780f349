#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "chain/chain.h"
#include "chain/instance.h"
#include "chain/sample_format.h"
#include "plugin/dll_instance.h"
#include "plugin/modify_samples.h"
#include "processors/processor.h"
#include "processors/processor_set.h"
#include "settings/parameters.h"
#include "test_support.h"
#include "ui/plugin_state.h"

namespace varnolt {
namespace {

// The DLL's one instance: these tests drive the module's entries, which work on it.
LiveParameters& live = dll_instance().live;
ChainState& chain = dll_instance().chain;
ProcessorSet& processors = dll_instance().processors;
SamplePathState& sample_path = dll_instance().sample_path;

std::int32_t stored(const std::vector<std::uint8_t>& bytes, int bits) {
    std::uint32_t u = 0;
    for (int b = 0; b < bits / 8; ++b) u |= static_cast<std::uint32_t>(bytes[b]) << (8 * b);
    if (bits < 32 && (u >> (bits - 1)) & 1) u |= ~0u << bits;
    return static_cast<std::int32_t>(u);
}

std::int32_t store(double y, int bits, double d) {
    std::vector<std::uint8_t> bytes(4, 0xAA);
    write_working_sample(bytes.data(), bits, y, d);
    return bits == 8 ? bytes[0] : stored(bytes, bits);
}

TEST(SampleFormat, ReadsEveryWidthIntoSixteenBitUnits) {
    const struct {
        int bits;
        std::vector<std::uint8_t> bytes;
        double value;
    } cases[] = {
        {8, {0x00}, -32768.0},
        {8, {0x80}, 0.0},
        {8, {0xFF}, 32512.0},
        {16, {0x00, 0x80}, -32768.0},
        {16, {0xFF, 0x7F}, 32767.0},
        {16, {0xFF, 0xFF}, -1.0},
        {24, {0x00, 0x00, 0x80}, -32768.0},
        {24, {0xFF, 0xFF, 0x7F}, 8388607.0 / 256.0},
        {24, {0x80, 0x00, 0x00}, 0.5},
        {32, {0x00, 0x00, 0x00, 0x80}, -32768.0},
        {32, {0x00, 0x80, 0x00, 0x00}, 0.5},
        {32, {0xFF, 0xFF, 0xFF, 0xFF}, -1.0 / 65536.0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(read_working_sample(c.bytes.data(), c.bits), c.value) << c.bits;
}

TEST(SampleFormat, SixteenBitRoundingOfZeroAndAHalf) {
    for (int r = 0; r < 100; ++r) {
        const double d = r / 100.0;
        EXPECT_EQ(store(0.0, 16, d), 0) << d;
        // Half a step lands on either neighbour, each for half the dither values.
        EXPECT_EQ(store(0.5, 16, d), d >= 0.5 ? 1 : 0) << d;
        EXPECT_EQ(store(-0.5, 16, d), d >= 0.5 ? 0 : -1) << d;
    }
}

// With every stage off the chain hands back the sample it was given: whatever the dither, a
// value the format holds comes back unchanged, in every format, negative ones too. The stored
// value once moved one step down for odd 8- and 16-bit values at d = 0, and one step up for
// every negative 24- and 32-bit value at d > 0.
TEST(SampleFormat, AValueTheFormatHoldsComesBackUnchangedWhateverTheDither) {
    for (int r = 0; r < 100; ++r) {
        const double d = r / 100.0;
        for (int v : {-128, -127, -5, -1, 0, 1, 5, 126, 127})
            ASSERT_EQ(store(v * 256.0, 8, d) - 128, v) << v << " d " << d;
        for (int v : {-32768, -32767, -3, -1, 0, 1, 3, 32766, 32767})
            ASSERT_EQ(store(v, 16, d), v) << v << " d " << d;
        for (int v : {-0x800000, -0x7FFFFF, -3, -1, 0, 1, 3, 0x7FFFFF})
            ASSERT_EQ(store(v / 256.0, 24, d), v) << v << " d " << d;
        for (std::int64_t v : {std::int64_t{INT32_MIN}, std::int64_t{-3}, std::int64_t{-1},
                               std::int64_t{0}, std::int64_t{1}, std::int64_t{INT32_MAX}})
            ASSERT_EQ(store(static_cast<double>(v) / 65536.0, 32, d), v) << v << " d " << d;
    }
}

TEST(SampleFormat, DitherSpreadsAFractionOverItsTwoNeighboursWithoutBias) {
    // A quarter step: a quarter of the dither values reach the upper neighbour.
    for (const double y : {0.25, -0.75, 1000.25}) {
        int up = 0;
        for (int r = 0; r < 100; ++r) {
            const int s = store(y, 16, r / 100.0);
            ASSERT_TRUE(s == std::floor(y) || s == std::floor(y) + 1) << y;
            up += s == std::floor(y) + 1;
        }
        EXPECT_EQ(up, 25) << y;
    }
}

TEST(SampleFormat, OutOfRangeValuesSaturateAtTheFormatsLimits) {
    const struct {
        double y;
        int bits;
        std::int32_t expected;
    } cases[] = {
        {40000.0, 16, 32767},
        {-40000.0, 16, -32768},
        {40000.0, 32, 0x7FFFFFFF},
        {-40000.0, 32, INT32_MIN},
        {40000.0, 24, 0x7FFFFF},
        {-40000.0, 24, -0x800000},
        {40000.0, 8, 255},
        {-40000.0, 8, 0},
        {INFINITY, 32, 0x7FFFFFFF},
        {-INFINITY, 16, -32768},
        {NAN, 16, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(store(c.y, c.bits, 0.99), c.expected) << c.y << " in " << c.bits;
}

TEST(SampleFormat, WideFormatsRoundDownAfterAddingTheDither) {
    // 24 bits: y * 256 + d, rounded down.
    EXPECT_EQ(store(1.0, 24, 0.0), 256);
    EXPECT_EQ(store(1.0, 24, 0.99), 256);
    EXPECT_EQ(store(-1.0, 24, 0.5), -256);
    EXPECT_EQ(store(0.001, 32, 0.5), 66);
    EXPECT_EQ(store(-32768.0, 24, 0.0), -0x800000);
}

class ModifySamples : public ::testing::Test {
  protected:
    void SetUp() override {
        testing::reset_plugin_state();
        live.values.bias_enabled = 0;
        live.azimuth_enabled = 0;
    }
    void TearDown() override { testing::reset_plugin_state(); }

    static int run(std::vector<std::int16_t>& samples, int channels, int bits = 16) {
        const int frames = static_cast<int>(samples.size()) / channels;
        return modify_samples(nullptr, samples.data(), frames, bits, channels, 44100);
    }
};

// The player's C runtime (msvcrt) starts its rand at 1: 41, 18467, 6334, 26500, 19169, …
TEST(DitherGenerator, DrawsThePlayersRuntimeSequence) {
    DitherGenerator generator;
    for (int expected : {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358, 26962, 24464})
        EXPECT_EQ(generator.next(), expected);
}

TEST_F(ModifySamples, EachSampleGetsTheNextDitherInBufferOrder) {
    live.values.post_amplifier = 0.5;
    std::vector<std::int16_t> block;
    for (int n = 0; n < 576 * 2; ++n) block.push_back(static_cast<std::int16_t>(n * 7 - 3000));
    // The runtime's generator from its start, as a fresh instance draws it.
    std::uint32_t x = 1;
    std::vector<std::int16_t> expected;
    for (std::size_t n = 0; n < block.size(); ++n) {
        x = x * 214013u + 2531011u;
        const double dither = ((x >> 16 & 0x7FFF) % 100) / 100.0;
        expected.push_back(static_cast<std::int16_t>(store(block[n] * 0.5, 16, dither)));
    }
    EXPECT_EQ(run(block, 2), 576);
    EXPECT_EQ(block, expected);
}

TEST_F(ModifySamples, BypassLeavesTheBlockBitIdenticalAndDoesNotCountFrames) {
    live.processing_mode = k_mode_bypass;
    live.values.post_amplifier = 3.0;
    std::vector<std::int16_t> block(4096, 1234);
    const auto before = block;
    EXPECT_EQ(run(block, 2), 2048);
    EXPECT_EQ(block, before);
    EXPECT_EQ(sample_path.frames_since_refresh, 0);
    EXPECT_EQ(chain.current_channel, 0);
}

TEST_F(ModifySamples, AnEmptyBlockChangesNothing) {
    std::vector<std::int16_t> block;
    EXPECT_EQ(modify_samples(nullptr, block.data(), 0, 16, 2, 44100), 0);
    EXPECT_EQ(sample_path.frames_since_refresh, 0);
    EXPECT_EQ(sample_path.refresh_credit, 0.0);
}

TEST_F(ModifySamples, DisplayRefreshIsPacedByFramesAndSpeed) {
    // 512-frame blocks at speed 1: a refresh (peaks cleared) after every second block.
    std::vector<std::int16_t> block(1024, 2000);
    run(block, 2);
    EXPECT_EQ(sample_path.frames_since_refresh, 512);
    EXPECT_GT(chain.output_peak[0], 0.0);
    std::fill(block.begin(), block.end(), 2000);
    run(block, 2);
    EXPECT_EQ(sample_path.frames_since_refresh, 0);
    EXPECT_EQ(chain.output_peak[0], 0.0);
    EXPECT_EQ(sample_path.refresh_credit, 0.0);

    // One block of 4096 frames earns one credit, not four; at speed 0.5 it takes two blocks.
    live.values.screen_refresh_speed = 0.5;
    std::vector<std::int16_t> large(8192, 2000);
    run(large, 2);
    EXPECT_EQ(sample_path.refresh_credit, 0.5);
    EXPECT_GT(chain.output_peak[1], 0.0);
    std::fill(large.begin(), large.end(), 2000);
    run(large, 2);
    EXPECT_EQ(sample_path.refresh_credit, 0.0);
    EXPECT_EQ(chain.output_peak[1], 0.0);
}

TEST_F(ModifySamples, IconifiedWindowEarnsAThirdOfTheCredit) {
    plugin.iconified = true;
    std::vector<std::int16_t> block(2048, 0);
    run(block, 2);
    EXPECT_DOUBLE_EQ(sample_path.refresh_credit, 1.0 / 3.0);
}

TEST_F(ModifySamples, ARefreshSpeedOutsideItsRangeBanksNoCreditThatOutlivesIt) {
    // The refresh runs at most once per block: a negative speed is no refresh at all, a huge
    // one a refresh every block, and when the speed is put right the pacing is as usual from the
    // next block on.
    for (double bad : {-1e308, -3.0, 1e308, 5.0}) {
        testing::reset_plugin_state();
        live.values.bias_enabled = 0;
        live.azimuth_enabled = 0;
        live.values.screen_refresh_speed = bad;
        std::vector<std::int16_t> block(2048, 2000);
        for (int n = 0; n < 50; ++n) {
            std::fill(block.begin(), block.end(), 2000);
            run(block, 2);
            ASSERT_GE(sample_path.refresh_credit, 0.0) << bad;
            ASSERT_LT(sample_path.refresh_credit, 2.0) << bad;
            EXPECT_EQ(chain.output_peak[0] == 0.0, bad > 0) << bad << " refreshed";
        }
        live.values.screen_refresh_speed = 0.5;
        run(block, 2);
        int refreshes = 0;
        for (int n = 0; n < 10; ++n) {
            std::fill(block.begin(), block.end(), 2000);
            run(block, 2);
            refreshes += chain.output_peak[0] == 0.0;
        }
        EXPECT_EQ(refreshes, 5) << bad;
    }
}

TEST_F(ModifySamples, UnsupportedWidthsPassUntouchedButArePaced) {
    std::vector<std::int16_t> block(2048, 77);
    const auto before = block;
    EXPECT_EQ(modify_samples(nullptr, block.data(), 1024, 12, 2, 44100), 1024);
    EXPECT_EQ(block, before);
    EXPECT_EQ(sample_path.frames_since_refresh, 0);
    EXPECT_EQ(sample_path.refresh_credit, 0.0) << "the refresh took the credit it earned";
}

TEST_F(ModifySamples, ARateOfZeroOrLessPassesTheBlockUntouched) {
    live.values.post_amplifier = 2.0;
    for (int rate : {0, -44100}) {
        std::vector<std::int16_t> block(2048, 321);
        const auto before = block;
        EXPECT_EQ(modify_samples(nullptr, block.data(), 1024, 16, 2, rate), 1024);
        EXPECT_EQ(block, before) << rate;
    }
}

TEST_F(ModifySamples, MonoGoesThroughBothChannelsOfTheChain) {
    live.mono = 1;  // the mix makes the two chain outputs visible
    std::vector<std::int16_t> block = {1000, 1000, 1000};
    run(block, 1);
    EXPECT_EQ(chain.current_channel, 0) << "calls come in pairs";
    // Each pair of calls is one frame of the chain, and the mix lags one frame: 0, then 1000.
    EXPECT_LE(std::abs(block[0]), 1);
    EXPECT_LE(std::abs(block[1] - 1000), 1);
    EXPECT_LE(std::abs(block[2] - 1000), 1);
}

// The mix is (L + R) / 2 of one frame in both channels: identical channels come out as they
// went in (a frame late), and an impulse in one channel stays at one frame, half as high in
// both. It once mixed a left sample with the previous frame's right one: a comb filter.
TEST_F(ModifySamples, MonoMixesTheTwoSamplesOfOneFrame) {
    live.mono = 1;
    constexpr int k_frames = 4096;
    std::vector<std::int16_t> same(2 * k_frames), impulse(2 * k_frames, 0);
    for (int n = 0; n < k_frames; ++n)
        same[2 * n] = same[2 * n + 1] = static_cast<std::int16_t>(
            std::lround(12000.0 * std::sin(2 * M_PI * 19000.0 * n / 44100)));
    const std::vector<std::int16_t> input = same;
    run(same, 2);
    for (int n = 1; n < k_frames; ++n) {
        ASSERT_LE(std::abs(same[2 * n] - same[2 * n + 1]), 1) << n << ": one mix, two dithers";
        ASSERT_LE(std::abs(same[2 * n] - input[2 * (n - 1)]), 1) << n;
    }

    testing::reset_plugin_state();
    SetUp();
    live.mono = 1;
    impulse[2 * 1000] = 20000;  // left only
    run(impulse, 2);
    for (int n = 0; n < k_frames; ++n) {
        const int expected = n == 1001 ? 10000 : 0;
        ASSERT_LE(std::abs(impulse[2 * n] - expected), 1) << n;
        ASSERT_LE(std::abs(impulse[2 * n + 1] - expected), 1) << n;
    }
}

TEST_F(ModifySamples, EightAndTwentyFourBitBlocksRoundTripThroughAnIdentityChain) {
    std::vector<std::uint8_t> bytes8 = {0, 1, 127, 128, 129, 254, 255};
    std::vector<std::uint8_t> copy8 = bytes8;
    modify_samples(nullptr, reinterpret_cast<short*>(copy8.data()), 7, 8, 1, 8000);
    for (std::size_t i = 0; i < bytes8.size(); ++i)
        EXPECT_LE(std::abs(copy8[i] - bytes8[i]), 1) << i;

    std::vector<std::uint8_t> bytes24 = {0x00, 0x00, 0x80, 0x56, 0x34, 0x12,
                                         0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00};
    std::vector<std::uint8_t> copy24 = bytes24;
    modify_samples(nullptr, reinterpret_cast<short*>(copy24.data()), 2, 24, 2, 96000);
    // Truncation toward zero after a non-negative dither keeps positive values exactly and lifts
    // negative ones by at most one step.
    for (int n = 0; n < 4; ++n) {
        const double in = read_working_sample(&bytes24[3 * n], 24) * 256.0;
        const double out = read_working_sample(&copy24[3 * n], 24) * 256.0;
        if (in >= 0) {
            EXPECT_EQ(out, in) << n;
        } else {
            EXPECT_TRUE(out == in || out == in + 1) << n;
        }
    }
}

// Throws from its first block, as a failing processor would.
class ThrowingProcessor : public Processor {
  public:
    void process_block() override { throw std::runtime_error("block failed"); }
};

TEST_F(ModifySamples, AnExceptionEndsTheBlockKeepingWhatWasWritten) {
    live.values.bias_enabled = 1;
    processors.tape = new ThrowingProcessor;
    std::vector<std::int16_t> block(8000, 1000);
    EXPECT_EQ(run(block, 2), 4000);
    // At quality 1 the hop is 3072 samples: the 3072nd push throws before it is stored.
    for (int n = 0; n < 3071; ++n) ASSERT_EQ(block[n], 0) << n;
    for (int n = 3071; n < 8000; ++n) ASSERT_EQ(block[n], 1000) << n;
    EXPECT_EQ(sample_path.frames_since_refresh, 4000) << "the pacing of that block is skipped";
}

}  // namespace
}  // namespace varnolt
