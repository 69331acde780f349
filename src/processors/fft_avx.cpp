// The FFT kernels for processors with AVX. This file alone is built with AVX; its kernels run
// only where the processor and the system have it (see fft.cpp). No fused multiply-add, and
// every lane does what the portable kernel does for its value: the results are the portable
// kernel's, bit for bit.
//
// Pairs (complex_lr): one register holds a whole element, both channels go through each
// butterfly at once. Single complex values: one register holds two neighbouring elements,
// which in every stage from span 8 on belong to two neighbouring butterflies with neighbouring
// twiddles; the passes before go through the portable two-double code.

#include "processors/fft_kernel.h"

namespace varnolt {
namespace {

// Twiddles j and j + 1 of one table row, (re, re', ...) and (im, im', ...) per lane pair.
template <bool Inverse>
VARNOLT_FFT_INLINE v4d times_twiddles(v4d b, const complex_value* w) {
    const v4d both = load<v4d>(&w->re);  // re_j, im_j, re_j+1, im_j+1
    const v4d re = __builtin_shufflevector(both, both, 0, 0, 2, 2);
    v4d im = __builtin_shufflevector(both, both, 1, 1, 3, 3);
    if (Inverse) im = -im;
    return _mm256_addsub_pd(re * b, im * swapped(b));
}

template <bool Inverse>
VARNOLT_FFT_INLINE void two_stages_single(double* x, int n, int q) {
    const complex_value* w_half = fft_tables.twiddle + q;
    const complex_value* w_full = fft_tables.twiddle + 2 * q;
    for (int k0 = 0; k0 < n; k0 += 4 * q) {
        for (int j = 0; j < q; j += 2) {
            double* p = x + 2 * (k0 + j);
            const v4d a0 = load<v4d>(p), a1 = load<v4d>(p + 2 * q), a2 = load<v4d>(p + 4 * q),
                      a3 = load<v4d>(p + 6 * q);
            const v4d t1 = times_twiddles<Inverse>(a1, w_half + j);
            const v4d t3 = times_twiddles<Inverse>(a3, w_half + j);
            const v4d b0 = a0 + t1, b1 = a0 - t1, b2 = a2 + t3, b3 = a2 - t3;
            const v4d u2 = times_twiddles<Inverse>(b2, w_full + j);
            const v4d u3 =
                times_quarter_turn<v4d, Inverse>(times_twiddles<Inverse>(b3, w_full + j));
            store(p, b0 + u2);
            store(p + 4 * q, b0 - u2);
            store(p + 2 * q, b1 + u3);
            store(p + 6 * q, b1 - u3);
        }
    }
}

template <bool Inverse>
VARNOLT_FFT_INLINE void one_stage_single(double* x, int n, int h) {
    const complex_value* w = fft_tables.twiddle + h;
    for (int k0 = 0; k0 < n; k0 += 2 * h) {
        for (int j = 0; j < h; j += 2) {
            double* p = x + 2 * (k0 + j);
            const v4d a = load<v4d>(p);
            const v4d t = times_twiddles<Inverse>(load<v4d>(p + 2 * h), w + j);
            store(p, a + t);
            store(p + 2 * h, a - t);
        }
    }
}

template <bool Inverse>
void single_fft(double* x, int log2n) {
    const int n = 1 << log2n;
    if (n < 8) {
        run_fft<v2d, 1, Inverse>(x, log2n);
        return;
    }
    const int shift = k_fft_largest_log2 - log2n;
    for (int i = 0; i < n; ++i) {
        const int j = fft_tables.reversed[i] >> shift;
        if (i < j) exchange<v2d, 1>(x, i, j);
    }
    first_two_stages<v2d, 1, Inverse>(x, n, DenseInput());
    int h = 4;
    while (h < n) {
        if (2 * h < n) {
            two_stages_single<Inverse>(x, n, h);
            h *= 4;
        } else {
            one_stage_single<Inverse>(x, n, h);
            h *= 2;
        }
    }
}

}  // namespace

void fft_lr_avx(complex_lr* data, int log2n, bool inverse) {
    if (inverse)
        run_fft<v4d, 1, true>(reinterpret_cast<double*>(data), log2n);
    else
        run_fft<v4d, 1, false>(reinterpret_cast<double*>(data), log2n);
}

void fft_lr_sparse_avx(complex_lr* data, int log2n, bool inverse, const FftSparseInput& input) {
    const SparseInput sparse{&input};
    if (inverse)
        run_fft<v4d, 1, true>(reinterpret_cast<double*>(data), log2n, sparse);
    else
        run_fft<v4d, 1, false>(reinterpret_cast<double*>(data), log2n, sparse);
}

void fft_lr_sparse_passes_avx(complex_lr* data, bool inverse, const FftSparseInput& input,
                              int first, int last) {
    const SparseInput sparse{&input};
    double* x = reinterpret_cast<double*>(data);
    if (inverse)
        run_fft_passes<v4d, 1, true>(x, input.log2n, sparse, first, last);
    else
        run_fft_passes<v4d, 1, false>(x, input.log2n, sparse, first, last);
}

void fft_single_avx(complex_value* data, int log2n, bool inverse) {
    if (inverse)
        single_fft<true>(reinterpret_cast<double*>(data), log2n);
    else
        single_fft<false>(reinterpret_cast<double*>(data), log2n);
}

}  // namespace varnolt
