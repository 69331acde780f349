// The tape processor's frame passes with both lane kernels: the AVX one (two bands to a
// register) must give every band value, level, factor and sum the portable one's bits, on
// ordinary values and on the values at and beyond the working range's edges.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <sstream>
#include <vector>

#include "instance_names.h"
#include "processors/lane_kernels.h"
#include "processors/tape_control.h"
#include "processors/tape_processor.h"
#include "processors/working_range.h"
#include "settings/parameters.h"

namespace varnolt {
namespace {

testing::OwnInstance own;
LiveParameters& live = own.live;
TapeControl& tape_control = own.tape_control;
TapeState& tape_state = own.tape_state;

// The frame passes, with their inputs set by hand.
class TapeProbe : public TapeProcessor {
  public:
    using TapeProcessor::decode_and_sum;
    using TapeProcessor::follow_band_levels;
    using TapeProcessor::scratch;
    using TapeProcessor::TapeProcessor;
    int hop_frames() const { return geometry().hop / 2; }
};

// Puts back the kernel that ran before the test chose one.
struct KeepLaneKernel {
    LaneKernel original = lane_kernel();
    ~KeepLaneKernel() { use_lane_kernel(original); }
};

const double k_inf = std::numeric_limits<double>::infinity();
const double k_nan = std::numeric_limits<double>::quiet_NaN();
const double k_tiny = std::numeric_limits<double>::denorm_min();
const double k_ceiling_above = std::nextafter(k_working_ceiling, k_inf);

// Band samples: zeros of both signs, subnormals, the working range's edge and just beyond it,
// huge values, infinities and NaN.
const double k_edge_samples[] = {
    0.0,   -0.0,   k_tiny,          -k_tiny, 1e-310,           1e17,  -1e17,
    1e18,  -1e18,  k_ceiling_above, 1e300,   -1e300,           k_inf, -k_inf,
    k_nan, 32767., -32768,          1e-300,  -k_ceiling_above, 5e17};
// Gains as a hand-edited settings file may give them.
const double k_edge_gains[] = {0.0, -0.0, k_tiny, 1e-300, 1e200, -3.0, 1e308, 7.5};

template <std::size_t N>
double pick(const double (&values)[N], std::mt19937& rng) {
    return values[rng() % N];
}

// Where two arrays of doubles first differ in their bits, or -1.
int first_difference(const double* a, const double* b, int count) {
    for (int i = 0; i < count; ++i)
        if (std::memcmp(a + i, b + i, sizeof *a) != 0) return i;
    return -1;
}

struct LevelCase {
    unsigned seed;
    bool edges;  // edge values among the samples, gains and levels
    bool bias;   // the bias equaliser on (gains and automatic factors)
    int split;   // the block's frames in two steps, at this frame
};

// What the levels pass leaves: the record, the levels and the factors.
struct LevelResult {
    std::vector<double> record, levels, factors;
};

LevelResult run_levels(const LevelCase& c, LaneKernel kernel) {
    own.reset_all();
    use_lane_kernel(kernel);
    auto tape = std::make_unique<TapeProbe>(tape_state, tape_control, live);
    std::mt19937 rng(c.seed);
    std::normal_distribution<double> sample(0.0, 3000.0);
    std::uniform_real_distribution<double> gain(0.1, 4.0), level(0.0, 5000.0);
    std::uniform_int_distribution<int> one_in(0, 7);
    tape_control.bias_active = c.bias;
    tape_control.auto_left = tape_control.auto_right = 1;
    tape_control.auto_clustered = tape_control.auto_bias_only = 0;
    live.values.pre_amplifier_left = c.edges && one_in(rng) == 0 ? pick(k_edge_gains, rng) : 1.0;
    live.values.pre_amplifier_right = gain(rng);
    for (int f = 1; f <= k_bands; ++f) {
        live.values.bands[f].left =
            c.edges && one_in(rng) == 0 ? pick(k_edge_gains, rng) : gain(rng);
        live.values.bands[f].right =
            c.edges && one_in(rng) == 0 ? pick(k_edge_gains, rng) : gain(rng);
        for (int ch = 0; ch < 2; ++ch)
            tape_state.band_level[f][ch] = c.edges && one_in(rng) == 0
                                               ? pick({0.0, -0.0, k_tiny, 1e18, 1e-300, 3.0}, rng)
                                               : level(rng);
    }
    const int frames = tape->hop_frames();
    for (int f = 1; f <= k_bands; ++f)
        for (int n = 0; n < frames; ++n)
            tape->scratch.band_signal[f][n] = {
                c.edges && one_in(rng) == 0 ? pick(k_edge_samples, rng) : sample(rng),
                c.edges && one_in(rng) == 0 ? pick(k_edge_samples, rng) : sample(rng)};
    BandFrame* record = tape->scratch.record;
    tape->follow_band_levels(record, 0, c.split);
    tape->follow_band_levels(record, c.split, frames);
    LevelResult r;
    for (int n = 0; n < frames; ++n)
        for (int f = 1; f <= k_bands; ++f) {
            r.record.push_back(record[n].band[f].left);
            r.record.push_back(record[n].band[f].right);
        }
    for (int f = 1; f <= k_bands; ++f)
        for (int ch = 0; ch < 2; ++ch) {
            r.levels.push_back(tape_state.band_level[f][ch]);
            r.factors.push_back(tape_state.auto_factor[f][ch]);
            r.factors.push_back(tape_state.applied_factor[f][ch]);
        }
    return r;
}

struct DecodeCase {
    unsigned seed;
    bool edges;    // edge values among the band samples and factors
    int strength;  // 0 the stage inactive, 1 a strength of 1, 2 random, 3 an edge value
    int rate_shift;
    int split;  // the block's frames in two steps, at this frame
};

// What the Dolby stage leaves: the sums, the sidechain and the meters.
struct DecodeResult {
    std::vector<double> sums, sidechain, meters;
    std::vector<int> hold;
};

DecodeResult run_decode(const DecodeCase& c, LaneKernel kernel) {
    own.reset_all();
    use_lane_kernel(kernel);
    auto tape = std::make_unique<TapeProbe>(tape_state, tape_control, live);
    std::mt19937 rng(c.seed);
    std::uniform_real_distribution<double> factor(0.5, 2.0), level(0.0, 3000.0), unit(0.0, 1.0);
    std::normal_distribution<double> sample(0.0, 1.0);
    std::uniform_int_distribution<int> one_in(0, 7);
    const double strengths[] = {0.0, 1.0, 0.25 + unit(rng), pick(k_edge_gains, rng)};
    live.values.dolby_strength = strengths[c.strength];
    tape_control.dolby_active = c.strength != 0;
    tape_control.table_remover_off = 0;
    tape_control.dolby_difference = c.seed % 2;
    tape_state.rate_shift = c.rate_shift;
    tape_state.ratio = 1.0 / std::pow(1.189207115002721, c.rate_shift);
    for (int f = 1; f <= k_bands; ++f)
        for (int ch = 0; ch < 2; ++ch)
            tape_state.applied_factor[f][ch] =
                c.edges && one_in(rng) == 0 ? pick(k_edge_gains, rng) : factor(rng);
    for (int ch = 0; ch < 2; ++ch) {
        tape_state.sidechain_level[ch] = level(rng);
        tape_state.hold_counter[ch] = static_cast<int>(rng() % 120) - 60;
    }
    // Loudness that wanders over the table's rows: quiet and loud stretches, treble and not.
    const int frames = tape->hop_frames();
    BandFrame* record = tape->scratch.record;
    double loudness = 1.0;
    for (int n = 0; n < frames; ++n) {
        if (n % 64 == 0) loudness = std::pow(10.0, 5.0 * unit(rng) - 1.0);
        for (int f = 1; f <= k_bands; ++f)
            record[n].band[f] = {
                c.edges && one_in(rng) == 0 ? pick(k_edge_samples, rng) : loudness * sample(rng),
                c.edges && one_in(rng) == 0 ? pick(k_edge_samples, rng) : loudness * sample(rng)};
    }
    tape->decode_and_sum(record, 0, c.split);
    tape->decode_and_sum(record, c.split, frames);
    DecodeResult r;
    for (int n = 0; n < frames; ++n)
        for (int ch = 0; ch < 2; ++ch) {
            r.sums.push_back(tape->scratch.dolby.wet[n][ch]);
            r.sums.push_back(tape->scratch.dolby.dry[n][ch]);
        }
    const TapeMonitor& m = tape_state.monitor;
    for (int ch = 0; ch < 2; ++ch) {
        r.sidechain.push_back(tape_state.sidechain_level[ch]);
        r.hold.push_back(tape_state.hold_counter[ch]);
        r.meters.push_back(m.sidechain_meter[ch]);
        for (int f = 1; f <= k_bands; ++f) {
            r.meters.push_back(m.band_meter_in[f][ch]);
            r.meters.push_back(m.band_meter_out[f][ch]);
        }
    }
    return r;
}

class TapeLanes : public ::testing::Test {
  protected:
    void SetUp() override { own.reset_all(); }
    void TearDown() override { own.reset_all(); }
    KeepLaneKernel keep;
};

TEST_F(TapeLanes, TheAvxLevelFollowersGiveThePortableOnesBits) {
    use_lane_kernel(LaneKernel::avx);
    if (lane_kernel() != LaneKernel::avx) GTEST_SKIP() << "this processor or build has no AVX";
    int saturated = 0;
    for (unsigned seed = 1; seed <= 24; ++seed) {
        const LevelCase c{seed, seed % 3 != 1, seed % 4 != 0, static_cast<int>(seed * 97 % 1500)};
        const LevelResult avx = run_levels(c, LaneKernel::avx);
        const LevelResult portable = run_levels(c, LaneKernel::portable);
        SCOPED_TRACE(::testing::Message() << "seed " << seed << ", edges " << c.edges << ", bias "
                                          << c.bias << ", split " << c.split);
        ASSERT_EQ(avx.record.size(), portable.record.size());
        const int r = first_difference(avx.record.data(), portable.record.data(),
                                       static_cast<int>(avx.record.size()));
        EXPECT_EQ(r, -1) << "band value " << r << ": " << (r >= 0 ? avx.record[r] : 0.0)
                         << " against " << (r >= 0 ? portable.record[r] : 0.0);
        EXPECT_EQ(first_difference(avx.levels.data(), portable.levels.data(), 2 * k_bands), -1);
        EXPECT_EQ(first_difference(avx.factors.data(), portable.factors.data(), 4 * k_bands), -1);
        for (double v : avx.record) saturated += std::fabs(v) == k_working_ceiling;
    }
    // The edge values did reach the saturation (and so the kernels' rare path).
    EXPECT_GT(saturated, 0);
}

// The Dolby stage's band values, gains, meters and sums, with the stage inactive, at strength 1,
// at random strengths and at a hand-edited one, at several rates' columns, with factors and
// band samples at the edges, the block in two steps split anywhere (the AVX passes go in chunks).
TEST_F(TapeLanes, TheAvxDolbyStageGivesThePortableOnesBits) {
    use_lane_kernel(LaneKernel::avx);
    if (lane_kernel() != LaneKernel::avx) GTEST_SKIP() << "this processor or build has no AVX";
    const int shifts[] = {0, 4, -4, 8, -2};
    int lowered = 0;
    for (unsigned seed = 1; seed <= 30; ++seed) {
        const DecodeCase c{seed, seed % 3 == 0, static_cast<int>(seed % 4), shifts[seed % 5],
                           static_cast<int>(seed * 131 % 1500)};
        const DecodeResult avx = run_decode(c, LaneKernel::avx);
        const DecodeResult portable = run_decode(c, LaneKernel::portable);
        SCOPED_TRACE(::testing::Message()
                     << "seed " << seed << ", edges " << c.edges << ", strength case " << c.strength
                     << ", shift " << c.rate_shift << ", split " << c.split);
        ASSERT_EQ(avx.sums.size(), portable.sums.size());
        const int r = first_difference(avx.sums.data(), portable.sums.data(),
                                       static_cast<int>(avx.sums.size()));
        EXPECT_EQ(r, -1) << "sum " << r << ": " << (r >= 0 ? avx.sums[r] : 0.0) << " against "
                         << (r >= 0 ? portable.sums[r] : 0.0);
        EXPECT_EQ(first_difference(avx.sidechain.data(), portable.sidechain.data(), 2), -1);
        EXPECT_EQ(avx.hold, portable.hold);
        EXPECT_EQ(first_difference(avx.meters.data(), portable.meters.data(),
                                   static_cast<int>(avx.meters.size())),
                  -1);
        // The gains did lower the wet sum somewhere (wet and dry at even and odd places).
        for (std::size_t i = 0; i + 1 < avx.sums.size(); i += 2)
            lowered += std::fabs(avx.sums[i]) < 0.999 * std::fabs(avx.sums[i + 1]);
    }
    EXPECT_GT(lowered, 1000);
}

}  // namespace
}  // namespace varnolt
