#pragma once
// A left/right pair of doubles in one SSE2 register, for the loops that treat both channels
// alike: each lane does exactly what the scalar code does for its channel, so the results are
// the scalar results bit for bit.

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "processors/complex_lr.h"
#include "processors/working_range.h"

namespace varnolt {

typedef double lr_pair __attribute__((vector_size(16)));

inline lr_pair pair_of(double left, double right) {
    return lr_pair{left, right};
}
inline lr_pair splat(double v) {
    return lr_pair{v, v};
}
// Frames and the state's [2] arrays are aligned to 8 only: in and out through memcpy.
inline lr_pair load_pair(const double* p) {
    lr_pair v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline lr_pair load_pair(const stereo_frame& f) {
    return load_pair(&f.left);
}
inline void store_pair(double* p, lr_pair v) {
    std::memcpy(p, &v, sizeof v);
}
inline void store_pair(stereo_frame& f, lr_pair v) {
    store_pair(&f.left, v);
}
inline lr_pair abs_pair(lr_pair v) {
#if defined(__SSE2__)
    const __m128d magnitude_mask = _mm_castsi128_pd(_mm_set1_epi64x(0x7fffffffffffffffLL));
    return reinterpret_cast<lr_pair>(_mm_and_pd(reinterpret_cast<__m128d>(v), magnitude_mask));
#else
    return pair_of(std::fabs(v[0]), std::fabs(v[1]));
#endif
}
// std::max per lane (the values are never NaN here).
inline lr_pair max_pair(lr_pair a, lr_pair b) {
#if defined(__SSE2__)
    return reinterpret_cast<lr_pair>(
        _mm_max_pd(reinterpret_cast<__m128d>(a), reinterpret_cast<__m128d>(b)));
#else
    return pair_of(std::max(a[0], b[0]), std::max(a[1], b[1]));
#endif
}

// update_within_range per lane, also refusing an update driven by an out-of-range value:
// state takes next where both next and cause lie within the working range.
inline void update_pair_within_range(lr_pair& state, lr_pair next, lr_pair cause) {
#if defined(__SSE2__)
    const __m128d magnitude_mask = _mm_castsi128_pd(_mm_set1_epi64x(0x7fffffffffffffffLL));
    const __m128d ceiling = _mm_set1_pd(k_working_ceiling);
    const __m128d n = reinterpret_cast<__m128d>(next), c = reinterpret_cast<__m128d>(cause);
    const __m128d ok = _mm_and_pd(_mm_cmple_pd(_mm_and_pd(n, magnitude_mask), ceiling),
                                  _mm_cmple_pd(_mm_and_pd(c, magnitude_mask), ceiling));
    state = reinterpret_cast<lr_pair>(
        _mm_or_pd(_mm_and_pd(ok, n), _mm_andnot_pd(ok, reinterpret_cast<__m128d>(state))));
#else
    for (int ch = 0; ch < 2; ++ch)
        if (within_working_range(cause[ch]) && within_working_range(next[ch])) state[ch] = next[ch];
#endif
}

// saturate_working on both lanes; the common case is one test.
inline lr_pair saturate_pair(lr_pair v) {
#if defined(__SSE2__)
    const __m128d magnitude_mask = _mm_castsi128_pd(_mm_set1_epi64x(0x7fffffffffffffffLL));
    const __m128d x = reinterpret_cast<__m128d>(v);
    if (_mm_movemask_pd(
            _mm_cmple_pd(_mm_and_pd(x, magnitude_mask), _mm_set1_pd(k_working_ceiling))) == 3)
        return v;
#else
    if (within_working_range(v[0]) && within_working_range(v[1])) return v;
#endif
    return pair_of(saturate_working(v[0]), saturate_working(v[1]));
}

}  // namespace varnolt
