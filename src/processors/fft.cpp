#include "processors/fft.h"

#include <cmath>
#include <utility>

#include "processors/fft_kernel.h"
#include "processors/lane_kernels.h"

namespace varnolt {

#if defined(VARNOLT_HAVE_AVX_FFT)
// In fft_avx.cpp, the one file built for AVX.
void fft_lr_avx(complex_lr* data, int log2n, bool inverse);
void fft_single_avx(complex_value* data, int log2n, bool inverse);
void fft_lr_sparse_avx(complex_lr* data, int log2n, bool inverse, const FftSparseInput& input);
void fft_lr_sparse_passes_avx(complex_lr* data, bool inverse, const FftSparseInput& input,
                              int first, int last);
#endif

namespace {

constexpr double k_pi = 3.14159265358979323846;

FftTables build_tables() {
    FftTables t{};
    for (int h = 1; h < k_fft_largest_size; h *= 2) {
        for (int j = 0; j < h; ++j) {
            const double angle = -k_pi * j / h;
            t.twiddle[h + j] = {std::cos(angle), std::sin(angle)};
        }
    }
    for (int i = 0; i < k_fft_largest_size; ++i) {
        int reversed = 0;
        for (int bit = 0; bit < k_fft_largest_log2; ++bit)
            if (i >> bit & 1) reversed |= 1 << (k_fft_largest_log2 - 1 - bit);
        t.reversed[i] = static_cast<std::uint16_t>(reversed);
    }
    return t;
}

FftKernel chosen_kernel = processor_has_avx() ? FftKernel::avx : FftKernel::portable;

// Sizes beyond the tables (the tools' analyses use them, the processors do not): the same
// radix-2 passes with each twiddle computed as it is needed.
void fft_beyond_tables(complex_lr* data, int log2n, bool inverse) {
    const int n = 1 << log2n;
    for (int i = 0, j = 0; i < n - 1; ++i) {
        if (i < j) std::swap(data[i], data[j]);
        int k = n / 2;
        for (; j >= k; k /= 2) j -= k;
        j += k;
    }
    const double sign = inverse ? 1.0 : -1.0;
    for (int half = 1; half < n; half *= 2) {
        for (int j = 0; j < half; ++j) {
            const double angle = sign * k_pi * j / half;
            const double wr = std::cos(angle), wi = std::sin(angle);
            for (int k = j; k < n; k += 2 * half) {
                complex_lr& a = data[k];
                complex_lr& b = data[k + half];
                const double lr = wr * b.left_re - wi * b.left_im;
                const double li = wr * b.left_im + wi * b.left_re;
                const double rr = wr * b.right_re - wi * b.right_im;
                const double ri = wr * b.right_im + wi * b.right_re;
                b = {a.left_re - lr, a.left_im - li, a.right_re - rr, a.right_im - ri};
                a = {a.left_re + lr, a.left_im + li, a.right_re + rr, a.right_im + ri};
            }
        }
    }
}

template <class V, int L>
void portable_fft(double* data, int log2n, bool inverse) {
    if (inverse)
        run_fft<V, L, true>(data, log2n);
    else
        run_fft<V, L, false>(data, log2n);
}

}  // namespace

const FftTables fft_tables = build_tables();

void fft(complex_lr* data, int log2n, bool inverse) {
    if (log2n > k_fft_largest_log2) {
        fft_beyond_tables(data, log2n, inverse);
        return;
    }
#if defined(VARNOLT_HAVE_AVX_FFT)
    if (chosen_kernel == FftKernel::avx) {
        fft_lr_avx(data, log2n, inverse);
        return;
    }
#endif
    portable_fft<v2d, 2>(reinterpret_cast<double*>(data), log2n, inverse);
}

void describe_sparse_input(FftSparseInput& input, int log2n, const bool* may_be_set) {
    const int n = 1 << log2n;
    const int shift = k_fft_largest_log2 - log2n;
    input.log2n = log2n;
    input.set_count = 0;
    for (int k = 0; k < n; ++k) {
        input.is_set[k] = may_be_set[k];
        if (may_be_set[k]) input.set_index[input.set_count++] = static_cast<std::uint16_t>(k);
    }
    // Position i of the bit-reversed order holds index reversed(i).
    input.set_before[0] = 0;
    for (int i = 0; i < n; ++i)
        input.set_before[i + 1] = static_cast<std::uint16_t>(
            input.set_before[i] + (may_be_set[fft_tables.reversed[i] >> shift] ? 1 : 0));
}

void fft(complex_lr* data, const FftSparseInput& input, bool inverse) {
#if defined(VARNOLT_HAVE_AVX_FFT)
    if (chosen_kernel == FftKernel::avx) {
        fft_lr_sparse_avx(data, input.log2n, inverse, input);
        return;
    }
#endif
    const SparseInput sparse{&input};
    double* x = reinterpret_cast<double*>(data);
    if (inverse)
        run_fft<v2d, 2, true>(x, input.log2n, sparse);
    else
        run_fft<v2d, 2, false>(x, input.log2n, sparse);
}

int fft_pass_count(int log2n) {
    return fft_pass_total(log2n);
}

void fft_passes(complex_lr* data, const FftSparseInput& input, bool inverse, int first, int last) {
#if defined(VARNOLT_HAVE_AVX_FFT)
    if (chosen_kernel == FftKernel::avx) {
        fft_lr_sparse_passes_avx(data, inverse, input, first, last);
        return;
    }
#endif
    const SparseInput sparse{&input};
    double* x = reinterpret_cast<double*>(data);
    if (inverse)
        run_fft_passes<v2d, 2, true>(x, input.log2n, sparse, first, last);
    else
        run_fft_passes<v2d, 2, false>(x, input.log2n, sparse, first, last);
}

void fft(complex_value* data, int log2n, bool inverse) {
#if defined(VARNOLT_HAVE_AVX_FFT)
    if (chosen_kernel == FftKernel::avx) {
        fft_single_avx(data, log2n, inverse);
        return;
    }
#endif
    portable_fft<v2d, 1>(reinterpret_cast<double*>(data), log2n, inverse);
}

FftKernel fft_kernel() {
    return chosen_kernel;
}

void use_fft_kernel(FftKernel kernel) {
    chosen_kernel =
        kernel == FftKernel::avx && processor_has_avx() ? FftKernel::avx : FftKernel::portable;
}

}  // namespace varnolt
