// The transform against FFTW's many-dft on the same interleaved layout (two complex channels
// side by side, a stride of two complex values): FFTW is the yardstick here only, the plug-in's
// transform is its own.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <vector>

#include "processors/fft.h"

#if defined(VARNOLT_BENCH_WITH_FFTW)
#include <fftw3.h>
#endif

namespace {

using varnolt::complex_lr;

std::vector<complex_lr> random_block() {
    std::mt19937 rng(1);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<complex_lr> data(varnolt::k_fft_largest_size);
    for (complex_lr& x : data) x = {u(rng), u(rng), u(rng), u(rng)};
    return data;
}

// Argument: 0 the portable kernel, 1 the AVX kernel (where the processor has it).
void transform_2048(benchmark::State& state) {
    const varnolt::FftKernel before = varnolt::fft_kernel();
    varnolt::use_fft_kernel(state.range(0) ? varnolt::FftKernel::avx
                                           : varnolt::FftKernel::portable);
    if (state.range(0) && varnolt::fft_kernel() != varnolt::FftKernel::avx)
        state.SkipWithError("no AVX on this processor");
    std::vector<complex_lr> data = random_block();
    bool inverse = false;
    for (auto _ : state) {
        varnolt::fft(data.data(), varnolt::k_fft_largest_log2, inverse);
        inverse = !inverse;  // keeps the values in range
        benchmark::DoNotOptimize(data.data());
    }
    varnolt::use_fft_kernel(before);
}
BENCHMARK(transform_2048)->ArgName("avx")->Arg(0)->Arg(1);

void transform_2048_single_channel(benchmark::State& state) {
    std::vector<varnolt::complex_value> data(varnolt::k_fft_largest_size);
    std::mt19937 rng(2);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (auto& x : data) x = {u(rng), u(rng)};
    bool inverse = false;
    for (auto _ : state) {
        varnolt::fft(data.data(), varnolt::k_fft_largest_log2, inverse);
        inverse = !inverse;
        benchmark::DoNotOptimize(data.data());
    }
}
BENCHMARK(transform_2048_single_channel);

#if defined(VARNOLT_BENCH_WITH_FFTW)
void fftw_many_dft_2048_interleaved(benchmark::State& state) {
    int n = varnolt::k_fft_largest_size;
    std::vector<complex_lr> data = random_block();
    auto* p = reinterpret_cast<fftw_complex*>(data.data());
    fftw_plan forward = fftw_plan_many_dft(1, &n, 2, p, nullptr, 2, 1, p, nullptr, 2, 1,
                                           FFTW_FORWARD, FFTW_MEASURE);
    fftw_plan backward = fftw_plan_many_dft(1, &n, 2, p, nullptr, 2, 1, p, nullptr, 2, 1,
                                            FFTW_BACKWARD, FFTW_MEASURE);
    const std::vector<complex_lr> values = random_block();
    std::copy(values.begin(), values.end(), data.begin());  // planning overwrote the array
    bool inverse = false;
    for (auto _ : state) {
        fftw_execute(inverse ? backward : forward);
        inverse = !inverse;
        benchmark::DoNotOptimize(data.data());
    }
    fftw_destroy_plan(forward);
    fftw_destroy_plan(backward);
}
BENCHMARK(fftw_many_dft_2048_interleaved);
#endif

}  // namespace
