// The band level followers for processors with AVX: two bands' left and right in one register,
// band f in the low half and band f + 1 in the high. Built for AVX alone (see lane_kernels.h);
// everything here but the entry point has internal linkage, so no AVX code can stand in for a
// function the other kernel calls.
//
// Each lane does what follow_band_levels in tape_processor.cpp does for its band and channel,
// with the same operations in the same order and without fused multiply-add: the band value is
// the gain times the band sample, saturated into the record, and the follower's next level is
// the larger of its falling and rising candidates, taken only where the value and the level both
// lie within the working range.

#include <immintrin.h>

#include "processors/lane_kernels.h"
#include "processors/tape_processor.h"
#include "processors/working_range.h"

namespace varnolt {
namespace {

#define VARNOLT_AVX_INLINE inline __attribute__((always_inline))

constexpr double k_follower_keep = 0.9999975;
constexpr double k_follower_fall = 2.5e-6;
constexpr double k_follower_rise_keep = 0.9999;
constexpr double k_follower_rise = 0.0001;

VARNOLT_AVX_INLINE __m256d load_two(const stereo_frame& low, const stereo_frame& high) {
    return _mm256_insertf128_pd(_mm256_castpd128_pd256(_mm_loadu_pd(&low.left)),
                                _mm_loadu_pd(&high.left), 1);
}

VARNOLT_AVX_INLINE __m256d magnitude(__m256d v) {
    return _mm256_and_pd(v, _mm256_castsi256_pd(_mm256_set1_epi64x(0x7fffffffffffffffLL)));
}

VARNOLT_AVX_INLINE __m256d within_range(__m256d v) {
    return _mm256_cmp_pd(magnitude(v), _mm256_set1_pd(k_working_ceiling), _CMP_LE_OS);
}

}  // namespace

void follow_band_levels_avx(const TapeScratch& scratch, const double (*gain)[2], double (*level)[2],
                            BandFrame* record, int first, int last) {
    static_assert(k_bands % 2 == 0, "the bands go in pairs");
    const __m256d keep = _mm256_set1_pd(k_follower_keep), fall = _mm256_set1_pd(k_follower_fall),
                  rise_keep = _mm256_set1_pd(k_follower_rise_keep),
                  rise_by = _mm256_set1_pd(k_follower_rise);
    // Each pair of bands over the frames: the followers are independent of one another.
    for (int f = 1; f < k_bands; f += 2) {
        const __m256d g = _mm256_loadu_pd(gain[f]);  // bands f and f + 1 lie side by side
        __m256d l = _mm256_loadu_pd(level[f]);
        const stereo_frame* low = scratch.band_signal[f];
        const stereo_frame* high = scratch.band_signal[f + 1];
        for (int n = first; n < last; ++n) {
            const __m256d v = _mm256_mul_pd(g, load_two(low[n], high[n]));
            // Out-of-range gains saturate the band rather than fill it with inf and NaN.
            double* out = &record[n].band[f].left;
            _mm256_storeu_pd(out, v);
            if (_mm256_movemask_pd(within_range(v)) != 0xf) saturate_lanes(out, 4);
            const __m256d k = _mm256_add_pd(_mm256_mul_pd(keep, l), _mm256_mul_pd(fall, v));
            const __m256d rise =
                _mm256_add_pd(_mm256_mul_pd(rise_keep, k), _mm256_mul_pd(rise_by, v));
            const __m256d next = _mm256_max_pd(k, rise);
            const __m256d ok = _mm256_and_pd(within_range(next), within_range(v));
            l = _mm256_or_pd(_mm256_and_pd(ok, next), _mm256_andnot_pd(ok, l));
        }
        _mm256_storeu_pd(level[f], l);
    }
}

}  // namespace varnolt
