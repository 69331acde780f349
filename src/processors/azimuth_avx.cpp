// The azimuth search's rating for processors with AVX: four candidates to a register, eight at a
// time. Built for AVX alone (see lane_kernels.h); everything here but the entry point has
// internal linkage, so no AVX code can stand in for a function the other kernel calls.
//
// Each lane does what cost_term in azimuth.cpp does for its candidate, in its order and without
// fused multiply-add: i * slope + difference[i], steps of pi up while below -pi/2, then down
// while above pi/2, and weight[i] times the magnitude added to the candidate's sum in bin order.
// A lane that needs no step adds or subtracts +0, which changes at most the sign of a zero that
// the magnitude then drops.

#include <immintrin.h>

#include "processors/azimuth_search.h"
#include "processors/lane_kernels.h"

namespace varnolt {
namespace {

#define VARNOLT_AVX_INLINE inline __attribute__((always_inline))

constexpr double k_pi = 3.14159265358979323846;
constexpr double k_half_pi = k_pi / 2;
constexpr int k_lanes = 4;
constexpr int k_group = 2 * k_lanes;

// The costs of the 4 * Registers candidates whose slopes are `slopes` over bins 0 .. nmax - 1.
template <int Registers>
VARNOLT_AVX_INLINE void rate_group(const double* weight, const double* difference,
                                   const double* slopes, double* costs, int nmax) {
    const __m256d pi = _mm256_set1_pd(k_pi), low = _mm256_set1_pd(-k_half_pi),
                  high = _mm256_set1_pd(k_half_pi), sign = _mm256_set1_pd(-0.0),
                  one = _mm256_set1_pd(1.0);
    __m256d slope[Registers], cost[Registers];
    for (int r = 0; r < Registers; ++r) {
        slope[r] = _mm256_loadu_pd(slopes + k_lanes * r);
        cost[r] = _mm256_setzero_pd();
    }
    // The bin index as a double, counted up by 1.0: exact as far as any int goes.
    __m256d bin = _mm256_setzero_pd();
    for (int i = 0; i < nmax; ++i) {
        const __m256d d = _mm256_broadcast_sd(difference + i);
        __m256d x[Registers];
        for (int r = 0; r < Registers; ++r) x[r] = _mm256_add_pd(_mm256_mul_pd(bin, slope[r]), d);
        for (;;) {
            __m256d below[Registers], any = _mm256_setzero_pd();
            for (int r = 0; r < Registers; ++r) {
                below[r] = _mm256_cmp_pd(x[r], low, _CMP_LT_OS);
                any = _mm256_or_pd(any, below[r]);
            }
            if (_mm256_movemask_pd(any) == 0) break;
            for (int r = 0; r < Registers; ++r)
                x[r] = _mm256_add_pd(x[r], _mm256_and_pd(below[r], pi));
        }
        for (;;) {
            __m256d above[Registers], any = _mm256_setzero_pd();
            for (int r = 0; r < Registers; ++r) {
                above[r] = _mm256_cmp_pd(x[r], high, _CMP_GT_OS);
                any = _mm256_or_pd(any, above[r]);
            }
            if (_mm256_movemask_pd(any) == 0) break;
            for (int r = 0; r < Registers; ++r)
                x[r] = _mm256_sub_pd(x[r], _mm256_and_pd(above[r], pi));
        }
        const __m256d w = _mm256_broadcast_sd(weight + i);
        for (int r = 0; r < Registers; ++r)
            cost[r] = _mm256_add_pd(cost[r], _mm256_mul_pd(w, _mm256_andnot_pd(sign, x[r])));
        bin = _mm256_add_pd(bin, one);
    }
    for (int r = 0; r < Registers; ++r) _mm256_storeu_pd(costs + k_lanes * r, cost[r]);
}

}  // namespace

// Eight candidates at a time; a last group of fewer fills its spare lanes with its last slope,
// whose steps the loops take anyway, and drops their costs.
void rate_azimuth_candidates_avx(const double* weight, const double* difference,
                                 AzimuthCandidate* table, int n, int nmax) {
    for (int k = 0; k < n; k += k_group) {
        const int count = n - k < k_group ? n - k : k_group;
        double slopes[k_group], costs[k_group];
        for (int j = 0; j < k_group; ++j) slopes[j] = table[k + (j < count ? j : count - 1)].slope;
        if (count > k_lanes)
            rate_group<2>(weight, difference, slopes, costs, nmax);
        else
            rate_group<1>(weight, difference, slopes, costs, nmax);
        for (int j = 0; j < count; ++j) table[k + j].cost = costs[j];
    }
}

}  // namespace varnolt
