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
// Whether this build has the AVX kernels and the processor and the system can run them: the
// transform's kernels are chosen by it too.
bool processor_has_avx();

LaneKernel lane_kernel();
// For tests and benchmarks: choose a kernel; AVX where it is missing keeps the portable one.
void use_lane_kernel(LaneKernel kernel);

// The Dolby stage's frames with the AVX kernels go in chunks, each through three passes: the
// band values and the sidechain's sums (AVX), the sidechain's level and the table rows it
// selects, frame after frame (dolby_decoder.cpp), and the gains, meters and sums (AVX).
constexpr int k_dolby_chunk_frames = 32;
struct DolbyChunk {
    // Each frame's band values after the factors, in the order of the registers: bands 1 and 3,
    // 2 and 4, 5 and 7, 6 and 8, each band's left and right side by side.
    double band[k_dolby_chunk_frames][4][4];
    double sidechain[k_dolby_chunk_frames][2];  // the sidechain's weighted sums, scaled
    double t[k_dolby_chunk_frames][2];          // the rows' blend per channel
    // Each channel's lower row's gains at the bands' columns and its upper row's one further up,
    // by band (1 .. 8).
    const double* lower[k_dolby_chunk_frames][2];
    const double* upper[k_dolby_chunk_frames][2];
};
// What every frame of a block's Dolby stage reads, by band (1 .. 8).
struct DolbyLaneTerms {
    double factor[9][2];  // the applied factors
    double weight[9];     // of each band in the sidechain's sum
    double scale;         // of the sidechain's sum
    double strength;      // scaling the gains' distance from 1 where above 0
    double de_emphasis[9];
};

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
// The first pass of TapeProcessor::decode_bands on `count` frames (at most a chunk): each band
// sample times its factor, saturated, into chunk.band, and the sidechain's sums into
// chunk.sidechain.
void dolby_band_values_avx(const BandFrame* record, int count, const DolbyLaneTerms& terms,
                           DolbyChunk& chunk);
// Its last pass, with chunk.t, lower and upper filled in: each band's gain, its lowered value
// saturated, the meters (indexed by band, each a left/right pair) and each frame's wet and dry
// sums.
void dolby_band_sums_avx(const DolbyLaneTerms& terms, const DolbyChunk& chunk, int count,
                         double (*meters_in)[2], double (*meters_out)[2], double (*wet)[2],
                         double (*dry)[2]);
#endif

// saturate_working on each of the `count` values at v: the rare path of the kernels, kept out of
// the files built for AVX.
void saturate_lanes(double* v, int count);

}  // namespace varnolt
