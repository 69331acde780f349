// The Dolby stage's band work for processors with AVX: two bands' left and right in one
// register. Built for AVX alone (see lane_kernels.h); everything here but the entry points has
// internal linkage, so no AVX code can stand in for a function the other kernel calls.
//
// Each lane does what TapeProcessor::decode_bands in dolby_decoder.cpp does for its band and
// channel, with the same operations in the same order and without fused multiply-add; the sums
// over the bands (the sidechain's, the wet and the dry ones) add the bands one by one in band
// order, as there. The sidechain's level and the rows it selects go frame by frame between the
// two passes here, in dolby_decoder.cpp.

#include <immintrin.h>

#include "processors/lane_kernels.h"
#include "processors/tape_processor.h"
#include "processors/working_range.h"

namespace varnolt {
namespace {

#define VARNOLT_AVX_INLINE inline __attribute__((always_inline))

static_assert(k_bands == 8, "the bands go in four registers");
static_assert(sizeof(DolbyLaneTerms::weight) == (k_bands + 1) * sizeof(double),
              "the terms are indexed by band");

constexpr double k_disabled_inverse_strength = 1e12;

VARNOLT_AVX_INLINE __m256d magnitude(__m256d v) {
    return _mm256_and_pd(v, _mm256_castsi256_pd(_mm256_set1_epi64x(0x7fffffffffffffffLL)));
}

VARNOLT_AVX_INLINE __m256d within_range(__m256d v) {
    return _mm256_cmp_pd(magnitude(v), _mm256_set1_pd(k_working_ceiling), _CMP_LE_OS);
}

// saturate_working on every lane of the four registers; the common case is one test.
VARNOLT_AVX_INLINE void saturate_four(__m256d* v) {
    const __m256d ok = _mm256_and_pd(_mm256_and_pd(within_range(v[0]), within_range(v[1])),
                                     _mm256_and_pd(within_range(v[2]), within_range(v[3])));
    if (_mm256_movemask_pd(ok) == 0xf) return;
    double lanes[16];
    for (int r = 0; r < 4; ++r) _mm256_storeu_pd(lanes + 4 * r, v[r]);
    saturate_lanes(lanes, 16);
    for (int r = 0; r < 4; ++r) v[r] = _mm256_loadu_pd(lanes + 4 * r);
}

VARNOLT_AVX_INLINE __m256d pairs_of(double low, double high) {
    return _mm256_set_pd(high, high, low, low);
}

// sum plus each band's pair in band order, from registers of bands (1, 3), (2, 4), (5, 7) and
// (6, 8).
VARNOLT_AVX_INLINE __m128d add_in_band_order(__m128d sum, const __m256d* p) {
    sum = _mm_add_pd(sum, _mm256_castpd256_pd128(p[0]));
    sum = _mm_add_pd(sum, _mm256_castpd256_pd128(p[1]));
    sum = _mm_add_pd(sum, _mm256_extractf128_pd(p[0], 1));
    sum = _mm_add_pd(sum, _mm256_extractf128_pd(p[1], 1));
    sum = _mm_add_pd(sum, _mm256_castpd256_pd128(p[2]));
    sum = _mm_add_pd(sum, _mm256_castpd256_pd128(p[3]));
    sum = _mm_add_pd(sum, _mm256_extractf128_pd(p[2], 1));
    sum = _mm_add_pd(sum, _mm256_extractf128_pd(p[3], 1));
    return sum;
}

// Registers of bands (1, 2), (3, 4) .. as they lie in memory, to (1, 3), (2, 4) .. and back.
VARNOLT_AVX_INLINE void to_register_order(const __m256d* natural, __m256d* ordered) {
    for (int h = 0; h < 2; ++h) {
        ordered[2 * h] = _mm256_permute2f128_pd(natural[2 * h], natural[2 * h + 1], 0x20);
        ordered[2 * h + 1] = _mm256_permute2f128_pd(natural[2 * h], natural[2 * h + 1], 0x31);
    }
}
VARNOLT_AVX_INLINE void to_band_order(const __m256d* ordered, __m256d* natural) {
    to_register_order(ordered, natural);  // the same exchange of halves undoes itself
}

// Each row's gains of bands 1 + 4h .. 4 + 4h for both channels, as registers of bands
// (1 + 4h, 3 + 4h) and (2 + 4h, 4 + 4h).
VARNOLT_AVX_INLINE void row_gains(const double* left, const double* right, int h, __m256d& odd,
                                  __m256d& even) {
    const __m256d l = _mm256_loadu_pd(left + 1 + 4 * h), r = _mm256_loadu_pd(right + 1 + 4 * h);
    odd = _mm256_unpacklo_pd(l, r);
    even = _mm256_unpackhi_pd(l, r);
}

template <bool Scaled>
VARNOLT_AVX_INLINE void band_sums(const DolbyLaneTerms& terms, const DolbyChunk& chunk, int count,
                                  double (*meters_in)[2], double (*meters_out)[2], double (*wet)[2],
                                  double (*dry)[2]) {
    const __m256d one = _mm256_set1_pd(1.0), strength = _mm256_set1_pd(terms.strength),
                  disabled = _mm256_set1_pd(k_disabled_inverse_strength);
    const __m256d sign = _mm256_set1_pd(-0.0);
    const double* de = terms.de_emphasis;
    const __m256d de_emphasis[4] = {pairs_of(de[1], de[3]), pairs_of(de[2], de[4]),
                                    pairs_of(de[5], de[7]), pairs_of(de[6], de[8])};
    __m256d in[4], out[4], natural[4];
    for (int p = 0; p < 4; ++p) natural[p] = _mm256_loadu_pd(meters_in[1 + 2 * p]);
    to_register_order(natural, in);
    for (int p = 0; p < 4; ++p) natural[p] = _mm256_loadu_pd(meters_out[1 + 2 * p]);
    to_register_order(natural, out);
    for (int i = 0; i < count; ++i) {
        const __m256d t = _mm256_broadcast_pd(reinterpret_cast<const __m128d*>(chunk.t[i]));
        const __m256d keep = _mm256_sub_pd(one, t);
        // Each band's gain, 1 for band 1: the blended table gain with its distance from 1
        // scaled by the strength, or within 1e-12 of 1 without one.
        __m256d gain[4];
        for (int h = 0; h < 2; ++h) {
            __m256d lower_odd, lower_even, upper_odd, upper_even;
            row_gains(chunk.lower[i][0], chunk.lower[i][1], h, lower_odd, lower_even);
            row_gains(chunk.upper[i][0], chunk.upper[i][1], h, upper_odd, upper_even);
            gain[2 * h] =
                _mm256_add_pd(_mm256_mul_pd(keep, lower_odd), _mm256_mul_pd(t, upper_odd));
            gain[2 * h + 1] =
                _mm256_add_pd(_mm256_mul_pd(keep, lower_even), _mm256_mul_pd(t, upper_even));
        }
        for (int r = 0; r < 4; ++r) {
            const __m256d distance = _mm256_sub_pd(gain[r], one);
            gain[r] = Scaled ? _mm256_add_pd(one, _mm256_mul_pd(distance, strength))
                             : _mm256_div_pd(_mm256_add_pd(distance, disabled), disabled);
        }
        gain[0] = _mm256_blend_pd(gain[0], one, 0x3);
        __m256d v[4], y[4];
        for (int r = 0; r < 4; ++r) {
            v[r] = _mm256_loadu_pd(chunk.band[i][r]);
            y[r] = _mm256_mul_pd(gain[r], v[r]);
        }
        saturate_four(y);
        __m256d wet_terms[4], dry_terms[4];
        for (int r = 0; r < 4; ++r) {
            in[r] = _mm256_add_pd(in[r], _mm256_andnot_pd(sign, v[r]));
            out[r] = _mm256_add_pd(out[r], _mm256_andnot_pd(sign, y[r]));
            wet_terms[r] = _mm256_mul_pd(de_emphasis[r], y[r]);
            dry_terms[r] = _mm256_mul_pd(de_emphasis[r], v[r]);
        }
        _mm_storeu_pd(wet[i], add_in_band_order(_mm_setzero_pd(), wet_terms));
        _mm_storeu_pd(dry[i], add_in_band_order(_mm_setzero_pd(), dry_terms));
    }
    to_band_order(in, natural);
    for (int p = 0; p < 4; ++p) _mm256_storeu_pd(meters_in[1 + 2 * p], natural[p]);
    to_band_order(out, natural);
    for (int p = 0; p < 4; ++p) _mm256_storeu_pd(meters_out[1 + 2 * p], natural[p]);
}

}  // namespace

void dolby_band_values_avx(const BandFrame* record, int count, const DolbyLaneTerms& terms,
                           DolbyChunk& chunk) {
    __m256d factor[4], weight[4];
    for (int p = 0; p < 4; ++p) {
        factor[p] = _mm256_loadu_pd(terms.factor[1 + 2 * p]);
        weight[p] = pairs_of(terms.weight[1 + 2 * p], terms.weight[2 + 2 * p]);
    }
    const __m128d scale = _mm_set1_pd(terms.scale);
    for (int i = 0; i < count; ++i) {
        const double* band = &record[i].band[1].left;
        __m256d v[4];
        for (int p = 0; p < 4; ++p) v[p] = _mm256_mul_pd(_mm256_loadu_pd(band + 4 * p), factor[p]);
        saturate_four(v);
        __m128d s = _mm_setzero_pd();
        for (int p = 0; p < 4; ++p) {
            const __m256d weighted = _mm256_mul_pd(v[p], weight[p]);
            s = _mm_add_pd(s, _mm256_castpd256_pd128(weighted));
            s = _mm_add_pd(s, _mm256_extractf128_pd(weighted, 1));
        }
        _mm_storeu_pd(chunk.sidechain[i], _mm_mul_pd(s, scale));
        __m256d ordered[4];
        to_register_order(v, ordered);
        for (int r = 0; r < 4; ++r) _mm256_storeu_pd(chunk.band[i][r], ordered[r]);
    }
}

void dolby_band_sums_avx(const DolbyLaneTerms& terms, const DolbyChunk& chunk, int count,
                         double (*meters_in)[2], double (*meters_out)[2], double (*wet)[2],
                         double (*dry)[2]) {
    if (terms.strength > 0.0)
        band_sums<true>(terms, chunk, count, meters_in, meters_out, wet, dry);
    else
        band_sums<false>(terms, chunk, count, meters_in, meters_out, wet, dry);
}

}  // namespace varnolt
