// The FFT's kernels against a plain DFT, and against each other: the AVX kernel must give the
// portable kernel's results bit for bit, so that a recording sounds the same on every processor.

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "processors/fft.h"

namespace varnolt {
namespace {

using cd = std::complex<double>;

std::vector<complex_lr> random_pairs(int n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-1000.0, 1000.0);
    std::vector<complex_lr> data(n);
    for (complex_lr& x : data) x = {u(rng), u(rng), u(rng), u(rng)};
    return data;
}

class FftKernels : public ::testing::Test {
  protected:
    void TearDown() override { use_fft_kernel(original); }
    FftKernel original = fft_kernel();
};

TEST_F(FftKernels, AvxAndPortableKernelsAgreeBitForBit) {
    use_fft_kernel(FftKernel::avx);
    if (fft_kernel() != FftKernel::avx) GTEST_SKIP() << "this processor has no AVX";
    for (int log2n = 0; log2n <= k_fft_largest_log2; ++log2n) {
        for (bool inverse : {false, true}) {
            std::vector<complex_lr> avx = random_pairs(1 << log2n, 3u + log2n);
            std::vector<complex_lr> portable = avx;
            use_fft_kernel(FftKernel::avx);
            fft(avx.data(), log2n, inverse);
            use_fft_kernel(FftKernel::portable);
            fft(portable.data(), log2n, inverse);
            EXPECT_EQ(std::memcmp(avx.data(), portable.data(), avx.size() * sizeof(complex_lr)), 0)
                << "pairs, 2^" << log2n << (inverse ? " inverse" : " forward");
            // And single complex values, two neighbours to a register from span 8 on.
            std::vector<complex_value> single_avx(avx.size()), single_portable;
            for (std::size_t i = 0; i < avx.size(); ++i)
                single_avx[i] = {avx[i].left_re, avx[i].right_im};
            single_portable = single_avx;
            use_fft_kernel(FftKernel::avx);
            fft(single_avx.data(), log2n, inverse);
            use_fft_kernel(FftKernel::portable);
            fft(single_portable.data(), log2n, inverse);
            EXPECT_EQ(std::memcmp(single_avx.data(), single_portable.data(),
                                  single_avx.size() * sizeof(complex_value)),
                      0)
                << "single, 2^" << log2n << (inverse ? " inverse" : " forward");
        }
    }
}

TEST_F(FftKernels, SingleChannelEqualsEitherChannelOfThePairs) {
    // One complex signal goes through the same passes as each half of a complex_lr.
    for (FftKernel kernel : {FftKernel::portable, FftKernel::avx}) {
        use_fft_kernel(kernel);
        for (int log2n : {0, 1, 2, 5, 11}) {
            std::vector<complex_lr> pairs = random_pairs(1 << log2n, 11u + log2n);
            std::vector<complex_value> left, right;
            for (const complex_lr& x : pairs) {
                left.push_back({x.left_re, x.left_im});
                right.push_back({x.right_re, x.right_im});
            }
            fft(pairs.data(), log2n, false);
            fft(left.data(), log2n, false);
            fft(right.data(), log2n, false);
            for (std::size_t k = 0; k < pairs.size(); ++k) {
                ASSERT_EQ(pairs[k].left_re, left[k].re) << log2n << " bin " << k;
                ASSERT_EQ(pairs[k].left_im, left[k].im) << log2n << " bin " << k;
                ASSERT_EQ(pairs[k].right_re, right[k].re) << log2n << " bin " << k;
                ASSERT_EQ(pairs[k].right_im, right[k].im) << log2n << " bin " << k;
            }
        }
    }
}

TEST_F(FftKernels, SizesBeyondTheTablesMatchAPlainDftToo) {
    const int log2n = 13;
    const int n = 1 << log2n;
    std::vector<complex_lr> x = random_pairs(n, 21u);
    std::vector<complex_lr> y = x;
    fft(y.data(), log2n, false);
    for (int k : {0, 1, 77, 4096, 8191}) {
        cd want = 0;
        for (int j = 0; j < n; ++j)
            want += cd{x[j].right_re, x[j].right_im} *
                    std::polar(1.0, -2.0 * M_PI * (static_cast<long long>(k) * j % n) / n);
        EXPECT_LT(std::abs(cd{y[k].right_re, y[k].right_im} - want), 1e-8 * std::abs(want) + 1e-6)
            << k;
    }
}

TEST_F(FftKernels, EverySizeMatchesAPlainDft) {
    for (FftKernel kernel : {FftKernel::portable, FftKernel::avx}) {
        use_fft_kernel(kernel);
        for (int log2n = 0; log2n <= k_fft_largest_log2; ++log2n) {
            const int n = 1 << log2n;
            for (bool inverse : {false, true}) {
                std::vector<complex_value> x;
                for (const complex_lr& p : random_pairs(n, 5u + log2n))
                    x.push_back({p.left_re, p.left_im});
                std::vector<complex_value> y = x;
                fft(y.data(), log2n, inverse);
                double error = 0.0, energy = 0.0;
                for (int k = 0; k < n; ++k) {
                    cd want = 0;
                    for (int j = 0; j < n; ++j)
                        want += cd{x[j].re, x[j].im} *
                                std::polar(1.0, (inverse ? 2.0 : -2.0) * M_PI *
                                                    (static_cast<long long>(k) * j % n) / n);
                    error += std::norm(cd{y[k].re, y[k].im} - want);
                    energy += std::norm(want);
                }
                EXPECT_LT(10.0 * std::log10(error / energy + 1e-300), -250.0)
                    << "2^" << log2n << (inverse ? " inverse" : " forward");
            }
        }
    }
}

// The sparse transform leaves out butterflies that only see +0; it must give the full
// transform's bits, whole or in two parts of its passes, signs of zero included, whatever the set:
// runs like a band's bins and their mirror images, scattered single entries, entries set to zero of
// either sign, inf and NaN.
TEST_F(FftKernels, SparseInputGivesTheFullTransformsBits) {
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> coin(0, 7);
    for (FftKernel kernel : {FftKernel::portable, FftKernel::avx}) {
        use_fft_kernel(kernel);
        for (int log2n = 0; log2n <= k_fft_largest_log2; ++log2n) {
            const int n = 1 << log2n;
            for (int pattern = 0; pattern < 12; ++pattern) {
                std::vector<char> set(n, 0);
                if (pattern < 6) {
                    // A run [first, last] and its mirror image, as a band's spectrum has.
                    const int first = std::uniform_int_distribution<int>(0, n / 2)(rng);
                    const int last = std::uniform_int_distribution<int>(first, n / 2)(rng);
                    for (int k = first; k <= last && k < n; ++k) set[k] = set[(n - k) % n] = 1;
                } else if (pattern < 11) {
                    for (int k = 0; k < n; ++k) set[k] = coin(rng) == 0;
                }  // the last pattern sets nothing
                std::vector<complex_lr> data = random_pairs(n, 40u + pattern);
                for (int k = 0; k < n; ++k) {
                    double* v = &data[k].left_re;
                    for (int c = 0; c < 4; ++c) {
                        if (!set[k])
                            v[c] = 0.0;
                        else if (coin(rng) == 0)
                            v[c] = coin(rng) < 4 ? -0.0 : 0.0;
                        else if (pattern == 9 && coin(rng) == 0)
                            v[c] = coin(rng) < 4 ? HUGE_VAL : std::nan("");
                    }
                }
                auto input = std::make_unique<FftSparseInput>();
                bool may_be_set[k_fft_largest_size];
                for (int k = 0; k < n; ++k) may_be_set[k] = set[k] != 0;
                describe_sparse_input(*input, log2n, may_be_set);
                for (bool inverse : {false, true}) {
                    std::vector<complex_lr> full = data, sparse = data;
                    fft(full.data(), log2n, inverse);
                    fft(sparse.data(), *input, inverse);
                    EXPECT_EQ(0, std::memcmp(full.data(), sparse.data(), n * sizeof(complex_lr)))
                        << "2^" << log2n << " pattern " << pattern
                        << (inverse ? " inverse" : " forward");
                    // In two parts split at every pass, as a spread block runs it.
                    if (log2n < 2) continue;
                    const int passes = fft_pass_count(log2n);
                    for (int split = 0; split <= passes; ++split) {
                        std::vector<complex_lr> parts = data;
                        fft_passes(parts.data(), *input, inverse, 0, split);
                        fft_passes(parts.data(), *input, inverse, split, passes);
                        ASSERT_EQ(0, std::memcmp(full.data(), parts.data(), n * sizeof(complex_lr)))
                            << "2^" << log2n << " pattern " << pattern << " split at " << split
                            << (inverse ? " inverse" : " forward");
                    }
                }
            }
        }
    }
}

}  // namespace
}  // namespace varnolt
