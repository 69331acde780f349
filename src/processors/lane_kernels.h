#pragma once
// The loops that keep independent values side by side in vector lanes (the azimuth search's
// candidates, the band level followers, the Dolby stage's bands) have two kernels: one with two
// doubles to a register, which every x86-64 processor runs with SSE2 (and plain code
// elsewhere), and one with four to a register where the processor and the system support AVX.
// Every lane does the scalar operations in the scalar order, without fused multiply-add, so the
// two give the same bits and either may run.

namespace varnolt {

struct AzimuthCandidate;
struct BandFrame;
struct TapeScratch;

enum class LaneKernel { portable, avx };
LaneKernel lane_kernel();
// For tests and benchmarks: choose a kernel; AVX where it is missing keeps the portable one.
void use_lane_kernel(LaneKernel kernel);

#if defined(VARNOLT_HAVE_AVX_KERNELS)
// The AVX kernels, in the files built for AVX alone; call them only while lane_kernel() is avx.

// rate_azimuth_candidates over the weights and phase differences of the scratch's bins.
void rate_azimuth_candidates_avx(const double* weight, const double* difference,
                                 AzimuthCandidate* table, int n, int nmax);
// The frame loop of TapeProcessor::follow_band_levels: frames first .. last - 1 of the scratch's
// band signals times gain[f] (emphasis included) into `record`, saturated, and the levels
// followed; gain and level are indexed by band 0 .. k_bands, each a left/right pair.
void follow_band_levels_avx(const TapeScratch& scratch, const double (*gain)[2], double (*level)[2],
                            BandFrame* record, int first, int last);
#endif

// saturate_working on each of the `count` values at v: the rare path of the kernels, kept out of
// the files built for AVX.
void saturate_lanes(double* v, int count);

}  // namespace varnolt
