#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <vector>

#include "processors/fft.h"
#include "processors/processor.h"

namespace varnolt {
namespace {

using cd = std::complex<double>;

std::vector<complex_lr> random_block(int n, unsigned seed, double scale = 1000.0) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-scale, scale);
    std::vector<complex_lr> data(n);
    for (complex_lr& x : data) x = {u(rng), u(rng), u(rng), u(rng)};
    return data;
}

// The plain O(n^2) DFT, per channel.
std::vector<cd> dft(const std::vector<cd>& x, bool inverse) {
    const int n = static_cast<int>(x.size());
    std::vector<cd> y(n);
    const double sign = inverse ? 1.0 : -1.0;
    for (int k = 0; k < n; ++k) {
        cd sum = 0;
        for (int j = 0; j < n; ++j)
            sum +=
                x[j] * std::polar(1.0, sign * 2.0 * M_PI * (static_cast<long long>(k) * j % n) / n);
        y[k] = sum;
    }
    return y;
}

TEST(Transform, MatchesABruteForceDftOnRandomData) {
    for (int log2n : {3, 6, 11}) {
        const int n = 1 << log2n;
        for (bool inverse : {false, true}) {
            std::vector<complex_lr> data = random_block(n, 7u + log2n);
            std::vector<cd> left(n), right(n);
            for (int i = 0; i < n; ++i) {
                left[i] = {data[i].left_re, data[i].left_im};
                right[i] = {data[i].right_re, data[i].right_im};
            }
            fft(data.data(), log2n, inverse);
            const std::vector<cd> want_left = dft(left, inverse), want_right = dft(right, inverse);
            double error = 0.0, energy = 0.0;
            for (int k = 0; k < n; ++k) {
                error += std::norm(cd{data[k].left_re, data[k].left_im} - want_left[k]) +
                         std::norm(cd{data[k].right_re, data[k].right_im} - want_right[k]);
                energy += std::norm(want_left[k]) + std::norm(want_right[k]);
            }
            // Relative error as a signal-to-noise ratio: far better than 200 dB for doubles.
            EXPECT_LT(10.0 * std::log10(error / energy), -200.0)
                << "n " << n << " inverse " << inverse;
        }
    }
}

TEST(Transform, ForwardThenInverseScalesByN) {
    const std::vector<complex_lr> original = random_block(2048, 3);
    std::vector<complex_lr> data = original;
    fft(data.data(), 11, false);
    fft(data.data(), 11, true);
    for (int i = 0; i < 2048; ++i) {
        ASSERT_NEAR(data[i].left_re, 2048 * original[i].left_re, 1e-7) << i;
        ASSERT_NEAR(data[i].left_im, 2048 * original[i].left_im, 1e-7) << i;
        ASSERT_NEAR(data[i].right_re, 2048 * original[i].right_re, 1e-7) << i;
        ASSERT_NEAR(data[i].right_im, 2048 * original[i].right_im, 1e-7) << i;
    }
}

TEST(Transform, AnImpulseGivesAFlatSpectrumOnItsOwnChannel) {
    std::vector<complex_lr> data(2048, complex_lr{0, 0, 0, 0});
    data[0].left_re = 1.0;
    fft(data.data(), 11, false);
    for (const complex_lr& x : data) {
        ASSERT_NEAR(x.left_re, 1.0, 1e-12);
        ASSERT_NEAR(x.left_im, 0.0, 1e-12);
        ASSERT_EQ(x.right_re, 0.0);
        ASSERT_EQ(x.right_im, 0.0);
    }
}

// The overlap-add of the block processors, open to the tests.
class Crossfader : public Processor {
  public:
    using Processor::overlap_add;
    using Processor::overlap_add_to_ring;
};

TEST(OverlapAdd, AZeroSignalOutputsTheFadedTail) {
    for (int q : {0, 1, 2}) {
        Crossfader p;
        p.set_quality(q);
        const int e = p.geometry().overlap, n = p.geometry().frames;
        const int k = e / 10, l = e - k;
        std::vector<stereo_frame> tail(e);
        for (int m = 0; m < e; ++m) tail[m] = {100.0 + m, -50.0 - m};
        const std::vector<double> signal(2 * n, 0.0);
        std::vector<stereo_frame> out(n - e);
        const std::vector<stereo_frame> old_tail = tail;
        p.overlap_add(signal.data(), 2, 1, tail.data(), out.data());
        for (int m = 0; m < n - e; ++m) {
            double expected = 0.0;
            if (m < l)
                expected = old_tail[m].left;
            else if (m < e)
                expected = old_tail[m].left * (e - m) / k;
            ASSERT_DOUBLE_EQ(out[m].left, expected) << "q " << q << " m " << m;
        }
        EXPECT_DOUBLE_EQ(out[e - 1].right, old_tail[e - 1].right / k);
        for (const stereo_frame& t : tail) ASSERT_EQ(t.left, 0.0);
    }
}

TEST(OverlapAdd, ToTheRingAppendsExactlyOneHop) {
    Crossfader p;
    p.set_quality(1);
    const int n = p.geometry().frames, e = p.geometry().overlap;
    std::vector<stereo_frame> tail(e, stereo_frame{0, 0});
    std::vector<double> signal(2 * n);
    for (int i = 0; i < 2 * n; ++i) signal[i] = 1.0 + i;
    p.overlap_add_to_ring(signal.data(), 2, 1, tail.data());
    // The ring restarted with the quality: the hop's N - E frames fill its first H slots.
    const double* ring = p.output_ring();
    EXPECT_EQ(ring[p.hop() - 1], signal[2 * (n - e - 1) + 1]) << "the last frame's right value";
    EXPECT_EQ(ring[p.hop()], 0.0) << "nothing beyond the hop";
}

}  // namespace
}  // namespace varnolt
