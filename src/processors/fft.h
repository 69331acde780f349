#pragma once
// The radix-2 FFT behind the block processors' transform, for 2^log2n points up to 2048: over an
// array of complex values, or of complex_lr (two complex channels side by side that share every
// twiddle). Unscaled in both directions: forward X[k] = sum x[n] e^(-2 pi i kn/N), inverse with
// the opposite sign.
//
// The twiddles and the bit-reversed order come from tables built when the library is loaded;
// the transform works in place, allocates nothing and takes no lock, on any thread.

#include <cstdint>

#include "processors/complex_lr.h"

namespace varnolt {

constexpr int k_fft_largest_log2 = 11;
constexpr int k_fft_largest_size = 1 << k_fft_largest_log2;

struct complex_value {
    double re;
    double im;
};
// The kernels see both types as plain arrays of doubles.
static_assert(sizeof(complex_value) == 2 * sizeof(double), "complex_value is two doubles");
static_assert(sizeof(complex_lr) == 4 * sizeof(double), "complex_lr is four doubles");

// Pairs beyond 2048 points (the tools' analyses) take a slower path without tables.
void fft(complex_lr* data, int log2n, bool inverse);
// Up to 2048 points.
void fft(complex_value* data, int log2n, bool inverse);

// An input to the transform whose entries are +0 but for a known set, such as a spectrum that is
// zero outside a band: the transform leaves out the butterflies that only ever see +0 and gives
// the same bits as the full one. Built once, outside the audio path.
struct FftSparseInput {
    int log2n;
    int set_count;                                     // entries that may be other than +0 ...
    std::uint16_t set_index[k_fft_largest_size];       // ... at these indices, ascending
    bool is_set[k_fft_largest_size];                   // per index
    std::uint16_t set_before[k_fft_largest_size + 1];  // of them, how many lie before each
                                                       // position in bit-reversed order
};
// `may_be_set[k]` for each of the 2^log2n indices.
void describe_sparse_input(FftSparseInput& input, int log2n, const bool* may_be_set);
// The transform of `data`, whose entries outside `input`'s set are +0; the same bits as fft()
// under round-to-nearest.
void fft(complex_lr* data, const FftSparseInput& input, bool inverse);

// The sparse transform in parts, for a caller that spreads it over time: passes first .. last - 1
// of fft_pass_count(log2n) (4 points or more). Run in order, all of them give fft()'s bits.
int fft_pass_count(int log2n);
void fft_passes(complex_lr* data, const FftSparseInput& input, bool inverse, int first, int last);

// The kernel that runs: the SSE2 one every x86 processor the player runs on has, or one that
// carries a whole complex_lr in an AVX register where the processor and the system support AVX.
// Both do the same arithmetic in the same order, so their results are identical.
enum class FftKernel { portable, avx };
FftKernel fft_kernel();
// For tests and benchmarks: choose a kernel; AVX where it is missing keeps the portable one.
void use_fft_kernel(FftKernel kernel);

}  // namespace varnolt
