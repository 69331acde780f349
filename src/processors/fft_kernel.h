#pragma once
// The FFT's passes, written once over a small vector type and instantiated for each kernel: two
// doubles (one complex value, SSE2) or four (a whole complex_lr, AVX). Included only by the
// kernels' own files; everything here has internal linkage, so a kernel compiled for AVX can
// never stand in for the portable one.

#include <cstdint>
#include <cstring>

#if defined(__AVX__)
#include <immintrin.h>
#endif

#include "processors/fft.h"

namespace varnolt {

// Built once at load: twiddle h + j is W(2h)^j = e^(-i pi j / h) for h = 1, 2, 4 .. 1024 and
// j < h; reversed[i] is i with its 11 bits in reverse order.
struct FftTables {
    complex_value twiddle[k_fft_largest_size];
    std::uint16_t reversed[k_fft_largest_size];
};
extern const FftTables fft_tables;

namespace {

typedef double v2d __attribute__((vector_size(16)));
typedef double v4d __attribute__((vector_size(32)));

#define VARNOLT_FFT_INLINE inline __attribute__((always_inline))

// The data are arrays of doubles aligned to 8 only: every vector goes in and out through memcpy,
// which compiles to unaligned moves.
template <class V>
VARNOLT_FFT_INLINE V load(const double* p) {
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
template <class V>
VARNOLT_FFT_INLINE void store(double* p, V v) {
    std::memcpy(p, &v, sizeof v);
}

// Per vector type: a vector of (a, b) pairs, and the pairs with their two halves exchanged.
VARNOLT_FFT_INLINE v2d pairs_of(v2d, double a, double b) {
    return v2d{a, b};
}
VARNOLT_FFT_INLINE v2d swapped(v2d v) {
    return __builtin_shufflevector(v, v, 1, 0);
}
#if defined(__AVX__)
VARNOLT_FFT_INLINE v4d pairs_of(v4d, double a, double b) {
    return v4d{a, b, a, b};
}
VARNOLT_FFT_INLINE v4d swapped(v4d v) {
    return __builtin_shufflevector(v, v, 1, 0, 3, 2);
}
#endif

// t = w * b for the twiddle w = (re, im), per complex value of the vector; the inverse uses
// conj(w).
template <class V, bool Inverse>
VARNOLT_FFT_INLINE V times_twiddle(V b, complex_value w) {
    const double im = Inverse ? -w.im : w.im;
    return pairs_of(b, w.re, w.re) * b + pairs_of(b, -im, im) * swapped(b);
}

#if defined(__AVX__)
// With AVX one instruction subtracts in the real lanes and adds in the imaginary ones; the
// portable form adds the negated product instead, which rounds the same.
template <>
VARNOLT_FFT_INLINE v4d times_twiddle<v4d, false>(v4d b, complex_value w) {
    return _mm256_addsub_pd(v4d{w.re, w.re, w.re, w.re} * b,
                            v4d{w.im, w.im, w.im, w.im} * swapped(b));
}
template <>
VARNOLT_FFT_INLINE v4d times_twiddle<v4d, true>(v4d b, complex_value w) {
    return _mm256_addsub_pd(v4d{w.re, w.re, w.re, w.re} * b,
                            v4d{-w.im, -w.im, -w.im, -w.im} * swapped(b));
}
#endif

// -i * b forward, +i * b inverse: the twiddle W(4)^1.
template <class V, bool Inverse>
VARNOLT_FFT_INLINE V times_quarter_turn(V b) {
    return Inverse ? swapped(b) * pairs_of(b, -1.0, 1.0) : swapped(b) * pairs_of(b, 1.0, -1.0);
}

// An element of the transform is `L` vectors of type V: `stride` doubles.
template <class V, int L>
constexpr int element_doubles = L* static_cast<int>(sizeof(V) / sizeof(double));
template <class V>
constexpr int vector_doubles = static_cast<int>(sizeof(V) / sizeof(double));

template <class V, int L>
VARNOLT_FFT_INLINE void exchange(double* x, int i, int j) {
    constexpr int e = element_doubles<V, L>;
    for (int c = 0; c < L; ++c) {
        double* a = x + i * e + c * vector_doubles<V>;
        double* b = x + j * e + c * vector_doubles<V>;
        const V t = load<V>(a);
        store(a, load<V>(b));
        store(b, t);
    }
}

// Which groups of the bit-reversed data can hold anything but +0. A dense transform's every group
// can; a sparse one (FftSparseInput) knows, for each run of positions, how many entries the caller
// may have set. A group of +0 entries stays +0 through every butterfly under round-to-nearest
// (a + t and a - t are +0 when a is +0 and t is a zero), so leaving it alone gives the same bits.
struct DenseInput {
    VARNOLT_FFT_INLINE bool any_set(int, int) const { return true; }
};
struct SparseInput {
    const FftSparseInput* input;
    VARNOLT_FFT_INLINE bool any_set(int first, int count) const {
        return input->set_before[first + count] != input->set_before[first];
    }
};

template <class V, int L>
VARNOLT_FFT_INLINE void reverse_order(double* x, int log2n, const DenseInput&) {
    const int n = 1 << log2n;
    const int shift = k_fft_largest_log2 - log2n;
    for (int i = 0; i < n; ++i) {
        const int j = fft_tables.reversed[i] >> shift;
        if (i < j) exchange<V, L>(x, i, j);
    }
}

// The same exchanges as the dense loop, for the pairs with an entry that may be set: the dense
// loop exchanges every pair once, from its lower index.
template <class V, int L>
VARNOLT_FFT_INLINE void reverse_order(double* x, int log2n, const SparseInput& sparse) {
    const int shift = k_fft_largest_log2 - log2n;
    const FftSparseInput& input = *sparse.input;
    for (int m = 0; m < input.set_count; ++m) {
        const int i = input.set_index[m];
        const int j = fft_tables.reversed[i] >> shift;
        if (i == j || (input.is_set[j] && j < i)) continue;
        exchange<V, L>(x, i, j);
    }
}

// Two radix-2 stages in one pass over the data: spans 2q and 4q, as separate stages would do
// them (the same twiddles, the same order of operations), with half the memory traffic.
template <class V, int L, bool Inverse, class Input>
VARNOLT_FFT_INLINE void two_stages(double* x, int n, int q, const Input& input) {
    constexpr int e = element_doubles<V, L>;
    const complex_value* w_half = fft_tables.twiddle + q;      // W(2q)^j
    const complex_value* w_full = fft_tables.twiddle + 2 * q;  // W(4q)^j
    for (int k0 = 0; k0 < n; k0 += 4 * q) {
        if (!input.any_set(k0, 4 * q)) continue;
        for (int j = 0; j < q; ++j) {
            const complex_value w1 = w_half[j], w2 = w_full[j];
            for (int c = 0; c < L; ++c) {
                double* p = x + (k0 + j) * e + c * vector_doubles<V>;
                const V a0 = load<V>(p), a1 = load<V>(p + q * e), a2 = load<V>(p + 2 * q * e),
                        a3 = load<V>(p + 3 * q * e);
                const V t1 = times_twiddle<V, Inverse>(a1, w1);
                const V t3 = times_twiddle<V, Inverse>(a3, w1);
                const V b0 = a0 + t1, b1 = a0 - t1, b2 = a2 + t3, b3 = a2 - t3;
                const V u2 = times_twiddle<V, Inverse>(b2, w2);
                // W(4q)^(j+q) = W(4q)^j * W(4)^1
                const V u3 = times_quarter_turn<V, Inverse>(times_twiddle<V, Inverse>(b3, w2));
                store(p, b0 + u2);
                store(p + 2 * q * e, b0 - u2);
                store(p + q * e, b1 + u3);
                store(p + 3 * q * e, b1 - u3);
            }
        }
    }
}

template <class V, int L, bool Inverse, class Input>
VARNOLT_FFT_INLINE void one_stage(double* x, int n, int h, const Input& input) {
    constexpr int e = element_doubles<V, L>;
    const complex_value* w = fft_tables.twiddle + h;
    for (int k0 = 0; k0 < n; k0 += 2 * h) {
        if (!input.any_set(k0, 2 * h)) continue;
        for (int j = 0; j < h; ++j) {
            for (int c = 0; c < L; ++c) {
                double* p = x + (k0 + j) * e + c * vector_doubles<V>;
                const V a = load<V>(p);
                const V t = times_twiddle<V, Inverse>(load<V>(p + h * e), w[j]);
                store(p, a + t);
                store(p + h * e, a - t);
            }
        }
    }
}

// Spans 2 and 4 in one pass: the twiddles are 1 and a quarter turn.
template <class V, int L, bool Inverse, class Input>
VARNOLT_FFT_INLINE void first_two_stages(double* x, int n, const Input& input) {
    constexpr int e = element_doubles<V, L>;
    constexpr int v = vector_doubles<V>;
    for (int k = 0; k < n; k += 4) {
        if (!input.any_set(k, 4)) continue;
        for (int c = 0; c < L; ++c) {
            double* p = x + k * e + c * v;
            const V a0 = load<V>(p), a1 = load<V>(p + e), a2 = load<V>(p + 2 * e),
                    a3 = load<V>(p + 3 * e);
            const V b0 = a0 + a1, b1 = a0 - a1, b2 = a2 + a3;
            const V b3 = times_quarter_turn<V, Inverse>(a2 - a3);
            store(p, b0 + b2);
            store(p + 2 * e, b0 - b2);
            store(p + e, b1 + b3);
            store(p + 3 * e, b1 - b3);
        }
    }
}

template <class V, int L, bool Inverse, class Input = DenseInput>
VARNOLT_FFT_INLINE void run_fft(double* x, int log2n, const Input& input = Input()) {
    constexpr int e = element_doubles<V, L>;
    constexpr int v = vector_doubles<V>;
    const int n = 1 << log2n;
    reverse_order<V, L>(x, log2n, input);
    if (n < 4) {
        if (n == 2) {
            for (int c = 0; c < L; ++c) {
                const V a = load<V>(x + c * v), b = load<V>(x + e + c * v);
                store(x + c * v, a + b);
                store(x + e + c * v, a - b);
            }
        }
        return;
    }
    first_two_stages<V, L, Inverse>(x, n, input);
    int h = 4;
    while (h < n) {
        if (2 * h < n) {
            two_stages<V, L, Inverse>(x, n, h, input);
            h *= 4;
        } else {
            one_stage<V, L, Inverse>(x, n, h, input);
            h *= 2;
        }
    }
}

// The passes of run_fft one by one: 0 the reordering, 1 the first two stages, then each pass of
// two stages and the last single stage if log2n is odd. Passes first .. last - 1 of the whole
// transform (n of 4 points or more), exactly as run_fft does them.
inline int fft_pass_total(int log2n) {
    return 2 + (log2n - 2) / 2 + (log2n - 2) % 2;
}

template <class V, int L, bool Inverse, class Input>
VARNOLT_FFT_INLINE void run_fft_passes(double* x, int log2n, const Input& input, int first,
                                       int last) {
    const int n = 1 << log2n;
    if (first <= 0 && last > 0) reverse_order<V, L>(x, log2n, input);
    if (first <= 1 && last > 1) first_two_stages<V, L, Inverse>(x, n, input);
    int h = 4;
    for (int pass = 2; h < n && pass < last; ++pass) {
        const bool two = 2 * h < n;
        if (pass >= first) {
            if (two)
                two_stages<V, L, Inverse>(x, n, h, input);
            else
                one_stage<V, L, Inverse>(x, n, h, input);
        }
        h *= two ? 4 : 2;
    }
}

}  // namespace
}  // namespace varnolt
