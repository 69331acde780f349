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

}  // namespace
}  // namespace varnolt
