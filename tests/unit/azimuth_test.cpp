#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "instance_names.h"
#include "processors/azimuth_search.h"
#include "processors/lane_kernels.h"
#include "processors/stereo.h"
#include "settings/parameters.h"
#include "test_support.h"

namespace varnolt {
namespace {

using cd = std::complex<double>;

// Puts back the kernel that ran before the test chose one.
struct KeepLaneKernel {
    LaneKernel original = lane_kernel();
    ~KeepLaneKernel() { use_lane_kernel(original); }
};
constexpr int k_half = 1024;
constexpr double k_rate = 44100.0;
// At 44100 Hz one bin spacing is 21.53 Hz, i.e. 2210.5 micrometres of tape.
const double k_tape_per_bin = 47600.0 / (k_rate / 2048);

class Azimuth : public ::testing::Test, public testing::OwnInstance {
  protected:
    void SetUp() override { reset_all(); }
    void TearDown() override { reset_all(); }

    // Random programme in both channels; the right one lags by phase slope `sigma` per bin.
    std::vector<complex_lr> block(double sigma) {
        std::normal_distribution<double> g(0.0, 100.0);
        std::vector<complex_lr> s(2048, complex_lr{0, 0, 0, 0});
        for (int i = 0; i < k_half; ++i) {
            const cd left = {g(rng), g(rng)};
            const cd right = left * std::polar(1.0, -sigma * i);
            s[i] = {left.real(), left.imag(), right.real(), right.imag()};
        }
        return s;
    }

    // The magnitude-weighted mean distance of the bins' phase differences from 0.
    static double phase_spread(const std::vector<complex_lr>& s) {
        double weighted = 0, weights = 0;
        for (int i = 1; i < 700; ++i) {
            const cd l = {s[i].left_re, s[i].left_im}, r = {s[i].right_re, s[i].right_im};
            const double w = std::min(std::abs(l), std::abs(r));
            weighted += w * std::fabs(std::arg(r * std::conj(l)));
            weights += w;
        }
        return weighted / weights;
    }

    std::mt19937 rng{77};
};

TEST_F(Azimuth, ZeroLimitGivesTheStatedCandidates) {
    AzimuthCandidate table[16];
    const struct {
        double step;
        std::vector<double> slopes;
    } cases[] = {
        {0.0005, {-0.001, -0.0005, 0.0, 0.0005, 0.001}},
        {0.00075, {-0.001, -0.00025, 0.0005, 0.00125}},
        {0.001, {-0.001, 0.0, 0.001}},
    };
    for (const auto& c : cases) {
        const int n = list_azimuth_candidates(0.0, c.step, table, 16);
        ASSERT_EQ(n, static_cast<int>(c.slopes.size())) << c.step;
        for (int k = 0; k < n; ++k) EXPECT_NEAR(table[k].slope, c.slopes[k], 1e-15) << c.step;
    }
}

TEST_F(Azimuth, TheCandidateTableNeverOverflows) {
    // 384 kHz at the largest limit needs about 800 candidates; a rate far beyond that stops at
    // the table's end instead of writing past it.
    live.azimuth_limit = 50.0;
    for (double rate : {192000.0, 384000.0, 2.0e6}) {
        std::vector<complex_lr> s = block(0.0);
        correct_azimuth(stereo_state, live, s.data(), k_half, rate, 0);
        EXPECT_TRUE(std::isfinite(stereo_state.current_slope)) << rate;
    }
    AzimuthCandidate table[k_azimuth_candidates];
    EXPECT_EQ(list_azimuth_candidates(10.0, 0.0005, table, k_azimuth_candidates),
              k_azimuth_candidates);
}

// The candidates are rated several at a time (two to a register where the processor allows);
// each cost must keep the bits of the plain sum over the bins, also where the phases wrap
// several times in either direction and for the candidates left over after the groups.
TEST_F(Azimuth, EachCandidatesCostIsThePlainSumOverTheBins) {
    const auto scratch = std::make_unique<AzimuthScratch>();
    std::uniform_real_distribution<double> weight(0.0, 300.0), difference(-1.5707963, 1.5707963);
    for (int i = 0; i < k_half; ++i) {
        scratch->weight[i] = i % 37 == 0 ? 0.0 : weight(rng);
        scratch->difference[i] = i % 41 == 0 ? 0.0 : difference(rng);
    }
    const double pi = 3.14159265358979323846;
    const auto plain_cost = [&](double slope, int nmax) {
        double cost = 0.0;
        for (int i = 0; i < nmax; ++i) {
            double x = i * slope + scratch->difference[i];
            while (x < -pi / 2) x += pi;
            while (x > pi / 2) x -= pi;
            cost += scratch->weight[i] * std::fabs(x);
        }
        return cost;
    };
    const KeepLaneKernel keep;
    for (LaneKernel kernel : {LaneKernel::portable, LaneKernel::avx}) {
        use_lane_kernel(kernel);  // where there is no AVX, the portable kernel twice
        for (int n : {1, 4, 7, 43, 110}) {
            for (int nmax : {0, 1, 743, 1024}) {
                AzimuthCandidate* table = scratch->candidates;
                // Slopes up to 0.03 radians per bin: ten turns of the phase across the bins.
                for (int k = 0; k < n; ++k) table[k].slope = -0.03 + 0.06 * k / std::max(n - 1, 1);
                rate_azimuth_candidates(*scratch, table, n, nmax);
                for (int k = 0; k < n; ++k)
                    EXPECT_EQ(table[k].cost, plain_cost(table[k].slope, nmax))
                        << n << " candidates, " << nmax << " bins, candidate " << k;
            }
        }
    }
}

// Whether two costs are the same: the same bits, or both NaN (a NaN's payload depends on which
// operand the processor passes on, and nothing downstream tells NaNs apart).
bool same_cost(double a, double b) {
    if (std::isnan(a) && std::isnan(b)) return true;
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// The AVX kernel (eight candidates at a time, four to a register, a short last group filled up)
// gives each cost the bits the portable kernel gives it, for any number of candidates, on
// ordinary values and on zeros of both signs, subnormals, huge and non-finite weights, NaN
// phases and slopes, and phases at and next to the wrapping limits. (Infinite phases or slopes
// have no place here: no number of steps of pi brings them into range, in either kernel.)
TEST_F(Azimuth, TheAvxKernelGivesThePortableKernelsBits) {
    const KeepLaneKernel keep;
    use_lane_kernel(LaneKernel::avx);
    if (lane_kernel() != LaneKernel::avx) GTEST_SKIP() << "this processor or build has no AVX";
    const auto scratch = std::make_unique<AzimuthScratch>();
    const double pi = 3.14159265358979323846, half_pi = pi / 2;
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double tiny = std::numeric_limits<double>::denorm_min();
    const double weights[] = {0.0, -0.0, tiny, -tiny, 1e-310, 1e300, 1e308, inf, -inf, nan, 2.5};
    const double differences[] = {0.0,
                                  -0.0,
                                  tiny,
                                  -tiny,
                                  half_pi,
                                  -half_pi,
                                  std::nextafter(half_pi, 0.0),
                                  std::nextafter(half_pi, 4.0),
                                  std::nextafter(-half_pi, 0.0),
                                  std::nextafter(-half_pi, -4.0),
                                  pi,
                                  -pi,
                                  1e3,
                                  -1e3,
                                  nan};
    std::uniform_real_distribution<double> weight(0.0, 300.0), difference(-1.6, 1.6);
    std::uniform_int_distribution<int> pick(0, 9);
    for (int round = 0; round < 6; ++round) {
        // Round 0 is ordinary values only; the others mix in the edge values.
        for (int i = 0; i < k_half; ++i) {
            scratch->weight[i] = round > 0 && pick(rng) == 0
                                     ? weights[rng() % (sizeof weights / sizeof *weights)]
                                     : weight(rng);
            scratch->difference[i] =
                round > 0 && pick(rng) == 0
                    ? differences[rng() % (sizeof differences / sizeof *differences)]
                    : difference(rng);
        }
        for (int n : {1, 2, 3, 4, 5, 7, 8, 9, 12, 15, 16, 17, 41, 43}) {
            for (int nmax : {0, 1, 2, 743, 1024}) {
                std::vector<AzimuthCandidate> avx(n), portable(n);
                std::uniform_real_distribution<double> slope(-0.03, 0.03);
                for (int k = 0; k < n; ++k) {
                    double t = slope(rng);
                    if (round > 1 && k % 5 == 1) {
                        const double odd[] = {0.0, -0.0, tiny, -tiny, nan, 1e-300};
                        t = odd[rng() % 6];
                    }
                    avx[k] = portable[k] = {-1.0, 0.0, t};
                }
                use_lane_kernel(LaneKernel::avx);
                rate_azimuth_candidates(*scratch, avx.data(), n, nmax);
                use_lane_kernel(LaneKernel::portable);
                rate_azimuth_candidates(*scratch, portable.data(), n, nmax);
                for (int k = 0; k < n; ++k)
                    ASSERT_TRUE(same_cost(avx[k].cost, portable[k].cost))
                        << "round " << round << ", " << n << " candidates, " << nmax
                        << " bins, candidate " << k << ": " << avx[k].cost << " against "
                        << portable[k].cost;
            }
        }
    }
}

TEST_F(Azimuth, FewerThanThreeCandidatesGiveNoEstimate) {
    AzimuthCandidate table[2] = {{1.0, 0, -0.001}, {2.0, 0, 0.0}};
    const AzimuthChoice choice = choose_azimuth_candidate(table, 2, 0.0);
    EXPECT_EQ(choice.best, -1);
    EXPECT_EQ(choice.best_ratio, 100.0);
}

TEST_F(Azimuth, EstimateStaysBetweenTheNeighboursOfTheBest) {
    // The deepest interior minimum next to an end candidate still interpolates between its two
    // neighbours.
    AzimuthCandidate table[5] = {{0.5, 0, -2}, {0.1, 0, -1}, {3.0, 0, 0}, {4.0, 0, 1}, {5.0, 0, 2}};
    const AzimuthChoice choice = choose_azimuth_candidate(table, 5, 0.0);
    EXPECT_EQ(choice.best, 1);
    EXPECT_DOUBLE_EQ(choice.best_ratio, 0.1 / 0.5);
    EXPECT_GE(choice.estimate, -2.0);
    EXPECT_LE(choice.estimate, 0.0);
    // A symmetric valley gives its centre.
    AzimuthCandidate valley[5] = {
        {4.0, 0, -2}, {2.0, 0, -1}, {1.0, 0, 0}, {2.0, 0, 1}, {4.0, 0, 2}};
    EXPECT_NEAR(choose_azimuth_candidate(valley, 5, 0.0).estimate, 0.0, 1e-12);
}

TEST_F(Azimuth, OfTwoEquallyDeepValleysTheOneNearestTheSlopeInForceWins) {
    // A pure tone's phases repeat every pi: a valley reaching 0 at slope -2, and one whose floor
    // falls between the grid points 2 and 3.
    const auto table = [] {
        std::vector<AzimuthCandidate> t;
        const double costs[] = {3, 2, 1, 0, 1, 2, 1, 0.2, 0.8, 2.2, 3};
        for (int k = 0; k < 11; ++k) t.push_back({costs[k], 0, k - 5.0});
        return t;
    };
    std::vector<AzimuthCandidate> t = table();
    const AzimuthChoice near_minus_two = choose_azimuth_candidate(t.data(), 11, -1.5);
    EXPECT_EQ(near_minus_two.best, 3);
    t = table();
    const AzimuthChoice near_plus_one = choose_azimuth_candidate(t.data(), 11, 0.5);
    EXPECT_EQ(near_plus_one.best, 7);
    // Its floor lies between its best candidate and the next, and the estimate goes there.
    EXPECT_GT(near_plus_one.estimate, 2.0);
    EXPECT_LT(near_plus_one.estimate, 3.0);
    // A shallower valley nearby does not win over a deep one further away.
    t = table();
    t[7].cost = 1.2;
    t[8].cost = 1.6;
    EXPECT_EQ(choose_azimuth_candidate(t.data(), 11, 0.5).best, 3);
}

TEST_F(Azimuth, CostsThatAreAllZeroGiveNoEstimate) {
    AzimuthCandidate table[5] = {{0, 0, -2}, {0, 0, -1}, {0, 0, 0}, {0, 0, 1}, {0, 0, 2}};
    const AzimuthChoice choice = choose_azimuth_candidate(table, 5, 0.0);
    EXPECT_EQ(choice.best, -1);
    EXPECT_EQ(choice.best_ratio, 100.0);
}

TEST_F(Azimuth, IdenticalChannelsSettleWithinOneStepOfZero) {
    for (int quality : {0, 1, 2}) {
        stereo_state.current_slope = 0.0;
        for (int b = 0; b < 200; ++b) {
            std::vector<complex_lr> s = block(0.0);
            correct_azimuth(stereo_state, live, s.data(), k_half, k_rate, quality);
        }
        const double step = quality == 0 ? 0.0005 : quality == 2 ? 0.001 : 0.00075;
        EXPECT_LE(std::fabs(stereo_state.current_slope), step) << quality;
    }
}

TEST_F(Azimuth, AFractionalDelayIsFollowedAtTheGivenSpeed) {
    const double sigma = 0.004;  // radians per bin, within the default limit of 0.00905
    const double max_change = live.azimuth_speed / k_tape_per_bin;
    double previous = stereo_state.current_slope;
    double first_spread = 0, last_spread = 0;
    for (int b = 0; b < 120; ++b) {
        std::vector<complex_lr> s = block(sigma);
        correct_azimuth(stereo_state, live, s.data(), k_half, k_rate, 1);
        const double slope = stereo_state.current_slope;
        ASSERT_LE(slope - previous * (1 - 0.4 * 0.001953125), max_change * (1 + 1e-9)) << b;
        ASSERT_TRUE(stereo_state.monitor.estimate_accepted) << b;
        previous = slope;
        if (b == 0) first_spread = phase_spread(s);
        last_spread = phase_spread(s);
    }
    EXPECT_NEAR(stereo_state.current_slope, sigma, 0.00075);
    EXPECT_NEAR(stereo_state.monitor.slope_limit, 20.0 / k_tape_per_bin, 1e-15);
    EXPECT_TRUE(stereo_state.monitor.azimuth_fresh);
    EXPECT_LT(last_spread, 0.3 * first_spread)
        << "the rotated left channel lines up with the right";
}

TEST_F(Azimuth, ZeroSpeedNeverChangesTheSlope) {
    live.azimuth_speed = 0.0;
    stereo_state.current_slope = 0.002;
    for (int b = 0; b < 20; ++b) {
        std::vector<complex_lr> s = block(-0.003);
        correct_azimuth(stereo_state, live, s.data(), k_half, k_rate, 0);
        ASSERT_EQ(stereo_state.current_slope, 0.002);
    }
}

TEST_F(Azimuth, TheCorrectionRotatesOnlyTheLeftChannel) {
    stereo_state.current_slope = 0.001;
    live.azimuth_speed = 0.0;
    std::vector<complex_lr> s = block(0.0);
    const std::vector<complex_lr> before = s;
    correct_azimuth(stereo_state, live, s.data(), k_half, k_rate, 1);
    for (int i = 0; i < k_half; ++i) {
        const cd l0 = {before[i].left_re, before[i].left_im};
        const cd expected = l0 * std::polar(1.0, -0.001 * i);
        ASSERT_NEAR(s[i].left_re, expected.real(), 1e-9);
        ASSERT_NEAR(s[i].left_im, expected.imag(), 1e-9);
        ASSERT_EQ(s[i].right_re, before[i].right_re);
    }
}

}  // namespace
}  // namespace varnolt
