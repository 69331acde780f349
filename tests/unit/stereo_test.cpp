#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "instance_names.h"
#include "processors/hiss_removal.h"
#include "processors/kth_smallest.h"
#include "processors/sort_ascending.h"
#include "processors/stereo.h"
#include "reference/sort_ascending.h"
#include "settings/parameters.h"
#include "test_support.h"

namespace varnolt {
namespace {

// This file's own instance, which its tests and helpers work on; each test starts it afresh.
testing::OwnInstance own;
LiveParameters& live = own.live;
StereoState& stereo_state = own.stereo_state;

void reset_all() {
    own.reset_all();
}

using cd = std::complex<double>;
constexpr int k_half = 1024;
constexpr double k_rate = 44100.0;

std::vector<complex_lr> spectrum_from(const std::vector<cd>& left, const std::vector<cd>& right) {
    std::vector<complex_lr> s(2048, complex_lr{0, 0, 0, 0});
    for (int i = 0; i < k_half; ++i)
        s[i] = {left[i].real(), left[i].imag(), right[i].real(), right[i].imag()};
    return s;
}

std::vector<cd> random_bins(std::mt19937& rng, double scale) {
    std::normal_distribution<double> g(0.0, scale);
    std::vector<cd> bins(k_half);
    for (cd& b : bins) b = {g(rng), g(rng)};
    return bins;
}

cd left_of(const complex_lr& x) {
    return {x.left_re, x.left_im};
}
cd right_of(const complex_lr& x) {
    return {x.right_re, x.right_im};
}

class StereoTest : public ::testing::Test {
  protected:
    void SetUp() override {
        reset_all();
        live.azimuth_enabled = 0;
        live.values.fm_enabled = 1;
    }
    void TearDown() override { reset_all(); }
    std::mt19937 rng{2024};
};

// The hiss filter's sort against the plain merge sort, on what its quantiles sort: ties (the
// history repeats levels), runs already in order or reversed, spreads from subnormal to infinite.
TEST(SortAscending, AgreesWithThePlainMergeSort) {
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> small(0, 9);
    std::lognormal_distribution<double> spread(0.0, 60.0);
    const std::vector<std::function<double(int, int)>> fills = {
        [&](int, int) { return small(rng) * 0.5; },
        [&](int, int) { return spread(rng) * (small(rng) < 3 ? -1.0 : 1.0); },
        [](int i, int) { return 1.0 + i; },
        [](int i, int count) { return static_cast<double>(count - i); },
        [](int i, int) { return i % 7 == 0 ? HUGE_VAL : 4.9e-324 * i; },
    };
    for (int count : {0, 1, 2, 3, 7, 100, 1023, 1024}) {
        for (std::size_t fill = 0; fill < fills.size(); ++fill) {
            std::vector<double> values(count), scratch(count);
            for (int i = 0; i < count; ++i) values[i] = fills[fill](i, count);
            std::vector<double> plain = values;
            reference::sort_ascending(plain.data(), count, scratch.data());
            ASSERT_TRUE(std::is_sorted(plain.begin(), plain.end()));
            sort_ascending(values.data(), count);
            EXPECT_EQ(values, plain) << count << " values, fill " << fill;
        }
    }
}

// The quantiles are selected, not sorted: the value at each position must be the one the sort
// leaves there, with the sort's order for NaNs (after every number, infinities included).
TEST(KthSmallest, IsTheValueTheSortLeavesAtEveryPosition) {
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> small(0, 9);
    std::lognormal_distribution<double> spread(0.0, 60.0);
    const double nan = std::nan("");
    const std::vector<std::function<double(int, int)>> fills = {
        [&](int, int) { return small(rng) * 0.5; },
        [&](int, int) { return spread(rng) * (small(rng) < 3 ? -1.0 : 1.0); },
        [](int i, int) { return 1.0 + i; },
        [](int i, int count) { return static_cast<double>(count - i); },
        [](int i, int) { return i % 7 == 0 ? HUGE_VAL : 4.9e-324 * i; },
        [&](int i, int) { return i % 5 == 1 ? nan : small(rng) - 4.5; },
        [&](int i, int) { return small(rng) < 2   ? -HUGE_VAL
                                 : small(rng) < 4 ? nan
                                                  : HUGE_VAL; },
        [&](int, int) { return nan; },
    };
    for (int count : {1, 2, 3, 7, 100, 1023, 1024}) {
        for (std::size_t fill = 0; fill < fills.size(); ++fill) {
            std::vector<double> values(count);
            for (int i = 0; i < count; ++i) values[i] = fills[fill](i, count);
            std::vector<double> sorted = values;
            sort_ascending(sorted.data(), count);
            for (int k = 0; k < count; ++k) {
                std::vector<double> selected = values;
                const double v = kth_smallest(selected.data(), count, k);
                if (std::isnan(sorted[k])) {
                    EXPECT_TRUE(std::isnan(v)) << count << " values, fill " << fill << ", " << k;
                } else {
                    EXPECT_EQ(v, sorted[k]) << count << " values, fill " << fill << ", " << k;
                }
                std::sort(selected.begin(), selected.end(),
                          [](double a, double b) { return a < b || (a == a && b != b); });
                ASSERT_EQ(std::memcmp(selected.data(), sorted.data(), count * sizeof(double)), 0)
                    << "the values are only reordered";
            }
        }
    }
}

TEST(SortAscending, PutsNaNsLastAndSortsTheRest) {
    const double nan = std::nan("");
    std::vector<double> values = {3.0, nan, -1.0, 2.0, nan, 0.5, -HUGE_VAL, nan};
    sort_ascending(values.data(), static_cast<int>(values.size()));
    const std::vector<double> numbers(values.begin(), values.begin() + 5);
    EXPECT_EQ(numbers, (std::vector<double>{-HUGE_VAL, -1.0, 0.5, 2.0, 3.0}));
    for (std::size_t i = 5; i < values.size(); ++i) EXPECT_TRUE(std::isnan(values[i])) << i;
}

TEST_F(StereoTest, ConstructionGeometryAndDefaults) {
    live.values.multiply_by = 4.0;
    live.values.fm_enabled = 1;
    // The window's rising edge, open to the test.
    class WindowedStereo : public Stereo {
      public:
        using Stereo::Stereo;
        const double* window() { return window_edge(); }
    } stereo(stereo_state, live);
    EXPECT_EQ(stereo.geometry().overlap, 1024);
    EXPECT_EQ(stereo.hop(), 2048);
    EXPECT_EQ(stereo.latency(), 4096);
    EXPECT_EQ(stereo.geometry().ring_length, 2050);
    const double* window = stereo.window();
    for (int j = 0; j <= 85; ++j) ASSERT_EQ(window[j], 0.0) << j;
    for (int j = 939; j < 1024; ++j) ASSERT_EQ(window[j], 1.0) << j;
    EXPECT_DOUBLE_EQ(window[512], 1.2 * 512 / 1024 - 0.1);
    EXPECT_EQ(live.azimuth_enabled, 1);
    EXPECT_EQ(live.azimuth_limit, 20.0);
    EXPECT_EQ(live.azimuth_speed, 0.4);
    EXPECT_EQ(live.values.fm_enabled, 0);
    EXPECT_EQ(live.values.multiply_by, 2.0);
}

TEST_F(StereoTest, IdenticalChannelsLoseNothing) {
    const std::vector<cd> bins = random_bins(rng, 100.0);
    for (int block = 0; block < 200; ++block) {
        std::vector<complex_lr> s = spectrum_from(bins, bins);
        const std::vector<complex_lr> before = s;
        remove_stereo_hiss(stereo_state, live, s.data(), k_half, k_rate);
        for (int i = 0; i < k_half; ++i) {
            ASSERT_NEAR(s[i].left_re, before[i].left_re, 1e-9) << i;
            ASSERT_NEAR(s[i].right_im, before[i].right_im, 1e-9) << i;
        }
    }
    EXPECT_NEAR(stereo_state.monitor.sum_excess, 0.0, 1e-6);
    EXPECT_NEAR(stereo_state.monitor.noise_level, 0.0, 1e-9);
}

TEST_F(StereoTest, NoReductionOrNoMultiplierRemovesNothing) {
    for (int setting = 0; setting < 2; ++setting) {
        reset_all();
        live.values.fm_enabled = 1;
        (setting == 0 ? live.values.reduce_percentage : live.values.multiply_by) = 0.0;
        for (int block = 0; block < 100; ++block) {
            std::vector<complex_lr> s =
                spectrum_from(random_bins(rng, 100.0), random_bins(rng, 100.0));
            const std::vector<complex_lr> before = s;
            remove_stereo_hiss(stereo_state, live, s.data(), k_half, k_rate);
            for (int i = 0; i < k_half; ++i) ASSERT_EQ(s[i].left_re, before[i].left_re);
        }
        EXPECT_EQ(stereo_state.monitor.sum_removed, 0.0);
        // With "Difference" the output is what was removed: silence.
        live.values.fm_difference = 1;
        std::vector<complex_lr> s = spectrum_from(random_bins(rng, 100.0), random_bins(rng, 100.0));
        s[7] = {1e-13, 0, 0, 0};  // below 1e-12 on average: passes unchanged
        remove_stereo_hiss(stereo_state, live, s.data(), k_half, k_rate);
        for (int i = 0; i < k_half; ++i) {
            if (i == 7) continue;
            ASSERT_EQ(std::abs(left_of(s[i])) + std::abs(right_of(s[i])), 0.0) << i;
        }
        EXPECT_EQ(s[7].left_re, 1e-13);
    }
}

TEST_F(StereoTest, ZeroDelayUsesTheNoiseLevelItself) {
    live.values.delay_time = 0.0;
    const double history_before = stereo_state.level_history[0] = 123.0;
    std::vector<complex_lr> s = spectrum_from(random_bins(rng, 100.0), random_bins(rng, 100.0));
    remove_stereo_hiss(stereo_state, live, s.data(), k_half, k_rate);
    const StereoMonitor& m = stereo_state.monitor;
    EXPECT_GT(m.noise_level, 0.0);
    EXPECT_EQ(m.threshold, m.noise_level);
    EXPECT_EQ(m.history_floor, m.noise_level);
    EXPECT_EQ(m.roughness_ratio, 0.0);
    EXPECT_EQ(stereo_state.level_history[0], history_before);
    EXPECT_FALSE(stereo_state.smoothed_initialised);
    EXPECT_GT(m.sum_removed, 0.0);
}

TEST_F(StereoTest, NoiseLevelIsTheChosenQuantileTimesTheMultiplier) {
    live.values.delay_time = 0.0;
    live.values.ignore_lowest_percentage = 50.0;
    live.values.multiply_by = 3.0;
    std::vector<complex_lr> s = spectrum_from(random_bins(rng, 10.0), random_bins(rng, 10.0));
    remove_stereo_hiss(stereo_state, live, s.data(), k_half, k_rate);
    const StereoMonitor& m = stereo_state.monitor;
    std::vector<double> sorted(m.excess, m.excess + k_half);
    sort_ascending(sorted.data(), k_half);
    const int index = static_cast<int>(1024 * (0.99999 - 0.00999 * 50.0));
    EXPECT_EQ(m.noise_level, sorted[index] * 3.0);
}

TEST_F(StereoTest, ZeroRoughnessTakesTheLowestLevelAndAnyRoughnessClosesTheThreshold) {
    live.values.signal_roughness = 0.0;
    for (int block = 0; block < 120; ++block) {
        const double scale = block % 3 == 0 ? 300.0 : 100.0;  // a rough history
        std::vector<complex_lr> s = spectrum_from(random_bins(rng, scale), random_bins(rng, scale));
        remove_stereo_hiss(stereo_state, live, s.data(), k_half, k_rate);
    }
    const StereoMonitor& m = stereo_state.monitor;
    const int nb = static_cast<int>(2.0 * k_rate / 1024);
    const double lowest =
        *std::min_element(stereo_state.level_history, stereo_state.level_history + nb);
    EXPECT_DOUBLE_EQ(m.history_floor, lowest * 1.5);
    EXPECT_EQ(m.threshold, 0.0);
    EXPECT_EQ(m.roughness_ratio, 1.0);
}

TEST_F(StereoTest, AnAllZeroHistoryKeepsTheHeldLevel) {
    // Silent but for one bin: the quantile is 0, so every level in the history is 0.
    std::vector<cd> left(k_half), right(k_half);
    left[10] = {50.0, 0.0};
    for (int block = 0; block < 5; ++block) {
        std::vector<complex_lr> s = spectrum_from(left, right);
        remove_stereo_hiss(stereo_state, live, s.data(), k_half, k_rate);
        EXPECT_EQ(stereo_state.monitor.threshold, stereo_state.monitor.held_level);
        EXPECT_TRUE(std::isfinite(stereo_state.monitor.roughness_ratio));
    }
}

TEST_F(StereoTest, ABinSilentInOneChannelIsUnchanged) {
    live.values.delay_time = 0.0;
    std::vector<cd> left = random_bins(rng, 100.0), right = random_bins(rng, 100.0);
    right[40] = 0.0;
    std::vector<complex_lr> s = spectrum_from(left, right);
    remove_stereo_hiss(stereo_state, live, s.data(), k_half, k_rate);
    EXPECT_EQ(left_of(s[40]), left[40]);
    EXPECT_EQ(right_of(s[40]), 0.0);
    EXPECT_GT(stereo_state.monitor.sum_removed, 0.0);
}

TEST_F(StereoTest, RemovalNeverExceedsTheAverageMagnitudeAndStaysBalanced) {
    // "Difference" shows what is removed; the removal per channel is at most q |x| <= A.
    live.values.delay_time = 0.0;
    live.values.fm_difference = 1;
    live.values.reduce_percentage = 300.0;
    live.values.multiply_by = 5.0;
    std::vector<cd> left = random_bins(rng, 100.0), right = random_bins(rng, 100.0);
    std::vector<complex_lr> s = spectrum_from(left, right);
    remove_stereo_hiss(stereo_state, live, s.data(), k_half, k_rate);
    for (int i = 0; i < k_half; ++i) {
        const double a = (std::abs(left[i]) + std::abs(right[i])) * 0.5;
        ASSERT_LE(std::abs(left_of(s[i])), std::abs(left[i]) * (1 + 1e-12) + 1e-9) << i;
        ASSERT_LE(std::abs(right_of(s[i])), std::abs(right[i]) * (1 + 1e-12) + 1e-9) << i;
        ASSERT_LE(std::abs(left_of(s[i])) + std::abs(right_of(s[i])), 2 * a * (1 + 1e-12)) << i;
    }
    for (double lambda : {1.0, 1.5, 3.0}) {
        for (int trial = 0; trial < 200; ++trial) {
            cd nl = random_bins(rng, 1.0)[0] * (trial % 7 + 0.1), nr = random_bins(rng, 1.0)[1];
            balance_removal(nl, nr, lambda);
            ASSERT_LE(std::abs(nl), lambda * std::abs(nr) * (1 + 1e-12));
            ASSERT_LE(std::abs(nr), lambda * std::abs(nl) * (1 + 1e-12));
        }
    }
    cd silent = 0.0, loud = {3.0, 4.0};
    balance_removal(loud, silent, 1.5);
    EXPECT_EQ(loud, 0.0) << "a channel that loses nothing keeps the other whole";
}

TEST_F(StereoTest, EveryBlockClearsTheUpperHalfOfItsSpectrum) {
    for (int flags = 0; flags < 4; ++flags) {
        class Probe : public Stereo {
          public:
            Probe() : Stereo(::varnolt::stereo_state, ::varnolt::live) {}
            const complex_lr* block_spectrum() const { return spectrum; }
        } stereo;
        live.azimuth_enabled = flags & 1;
        live.values.fm_enabled = (flags & 2) != 0;
        stereo.set_sample_rate(k_rate);
        std::normal_distribution<double> g(0, 1000);
        for (int i = 0; i < stereo.hop(); ++i) stereo.push_sample(g(rng), true);
        const complex_lr* s = stereo.block_spectrum();
        double lower = 0.0;
        for (int i = 0; i < 1024; ++i) lower += std::abs(left_of(s[i])) + std::abs(right_of(s[i]));
        EXPECT_GT(lower, 0.0) << "the block was transformed";
        for (int i = 1024; i < 2048; ++i)
            ASSERT_EQ(std::abs(left_of(s[i])) + std::abs(right_of(s[i])), 0.0);
    }
}

// Mono programme plus independent hiss per channel, through the whole processor.
TEST_F(StereoTest, UncorrelatedHissIsReducedOnceTheHistoryHasFilled) {
    auto stereo = std::make_unique<Stereo>(stereo_state, live);
    live.azimuth_enabled = 0;
    live.values.fm_enabled = 1;
    stereo->set_sample_rate(k_rate);
    std::normal_distribution<double> hiss(0.0, 200.0);
    const int frames = static_cast<int>(k_rate * 5);
    double side_in = 0, side_out = 0, mid_in = 0, mid_out = 0;
    std::vector<double> in_left, in_right;
    for (int n = 0; n < frames; ++n) {
        const double programme = 6000.0 * std::sin(2 * M_PI * 330.0 * n / k_rate) +
                                 3000.0 * std::sin(2 * M_PI * 2500.0 * n / k_rate);
        const double l = programme + hiss(rng), r = programme + hiss(rng);
        in_left.push_back(l);
        in_right.push_back(r);
        stereo->push_sample(l, true);
        const double out_l = stereo->read_output();
        stereo->push_sample(r, true);
        const double out_r = stereo->read_output();
        if (n >
            3 * k_rate) {  // the 2 s history has filled; compare with the input 2048 frames back
            const double dl = in_left[n - 2048], dr = in_right[n - 2048];
            side_in += (dl - dr) * (dl - dr);
            side_out += (out_l - out_r) * (out_l - out_r);
            mid_in += (dl + dr) * (dl + dr);
            mid_out += (out_l + out_r) * (out_l + out_r);
        }
    }
    EXPECT_LT(side_out, 0.5 * side_in) << "the hiss that differs between the channels goes";
    EXPECT_NEAR(mid_out / mid_in, 1.0, 0.02) << "the programme stays";
}

}  // namespace
}  // namespace varnolt
