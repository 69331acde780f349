// Cost of the sample path the player calls for every block: 16-bit stereo, 44.1 kHz, in the
// player's 576-frame blocks. Reported as a realtime factor: seconds of audio per second spent.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "chain/chain.h"
#include "chain/instance.h"
#include "plugin/dll_instance.h"
#include "plugin/modify_samples.h"
#include "processors/processor_set.h"
#include "settings/parameters.h"

namespace {

constexpr int k_block_frames = 576;
constexpr int k_sample_rate = 44100;

// Whole blocks as the player delivers them. Argument 0: every stage off (conversion, dither and
// chain bookkeeping only); 1: "Bias" and "Dolby B Remover" on; 2: every stage on (also the
// azimuth correction, the FM hiss filter and the compressor).
void modify_samples_16_bit_stereo(benchmark::State& state) {
    const int stages = static_cast<int>(state.range(0));
    varnolt::create_processors(varnolt::dll_instance());
    varnolt::dll_instance().live.values.post_amplifier = 0.9;
    varnolt::dll_instance().live.values.bias_enabled = stages >= 1;
    varnolt::dll_instance().live.values.dolby_enabled = stages >= 1;
    varnolt::dll_instance().live.azimuth_enabled = stages >= 2;
    varnolt::dll_instance().live.values.fm_enabled = stages >= 2;
    varnolt::dll_instance().live.values.singleband_enabled = stages >= 2;
    std::vector<std::int16_t> source(2 * k_block_frames);
    for (std::size_t n = 0; n < source.size(); ++n)
        source[n] = static_cast<std::int16_t>(10000.0 * std::sin(0.031 * n));
    std::vector<std::int16_t> block(source.size());
    for (auto _ : state) {
        block = source;
        varnolt::modify_samples(nullptr, block.data(), k_block_frames, 16, 2, k_sample_rate);
        benchmark::DoNotOptimize(block.data());
    }
    const double audio_seconds =
        static_cast<double>(state.iterations()) * k_block_frames / k_sample_rate;
    state.counters["realtime_factor"] =
        benchmark::Counter(audio_seconds, benchmark::Counter::kIsRate);
}
BENCHMARK(modify_samples_16_bit_stereo)->Arg(0)->Arg(1)->Arg(2);

// The chain alone on an instance of its own, as the LV2 plug-in runs it: argument 0 the player's
// path, 1 the steady path (fixed delay, switches cross-faded); the second argument as above.
void chain_path(benchmark::State& state) {
    const bool steady = state.range(0) != 0;
    const int stages = static_cast<int>(state.range(1));
    auto instance = std::make_unique<varnolt::Instance>();
    varnolt::create_processors(*instance);
    instance->chain.steady.on = steady;
    varnolt::LiveParameters& live = instance->live;
    live.values.bias_enabled = stages >= 1;
    live.values.dolby_enabled = stages >= 1;
    live.azimuth_enabled = stages >= 2;
    live.values.fm_enabled = stages >= 2;
    live.values.singleband_enabled = stages >= 2;
    std::vector<double> block(2 * k_block_frames);
    for (std::size_t n = 0; n < block.size(); ++n) block[n] = 10000.0 * std::sin(0.031 * n);
    double sum = 0.0;
    for (auto _ : state) {
        for (double x : block) sum += varnolt::chain_sample(*instance, x, k_sample_rate);
        benchmark::DoNotOptimize(sum);
    }
    const double audio_seconds =
        static_cast<double>(state.iterations()) * k_block_frames / k_sample_rate;
    state.counters["realtime_factor"] =
        benchmark::Counter(audio_seconds, benchmark::Counter::kIsRate);
}
BENCHMARK(chain_path)->Args({0, 0})->Args({1, 0})->Args({0, 2})->Args({1, 2});

// The two Dolby B decoders in the player's path: argument 0 the table remover, 1 the standard
// decoder; the second argument 0 with the decoder the only stage on, 1 with "Bias" on too, 2 with
// every stage on. The programme is a treble chord that swells and falls, so that both decoders'
// level detectors move.
void dolby_decoders(benchmark::State& state) {
    const bool standard = state.range(0) != 0;
    const int stages = static_cast<int>(state.range(1));
    auto instance = std::make_unique<varnolt::Instance>();
    varnolt::create_processors(*instance);
    varnolt::LiveParameters& live = instance->live;
    live.values.dolby_enabled = 1;
    live.values.standard_decoder = standard;
    live.values.bias_enabled = stages >= 1;
    live.azimuth_enabled = stages >= 2;
    live.values.fm_enabled = stages >= 2;
    live.values.singleband_enabled = stages >= 2;
    constexpr int k_programme_frames = 8 * k_block_frames;
    std::vector<double> programme(2 * k_programme_frames);
    for (std::size_t n = 0; n < programme.size(); ++n) {
        const double swell = 0.5 + 0.5 * std::sin(0.0003 * n);
        programme[n] = 8000.0 * swell * (std::sin(0.31 * n) + std::sin(0.73 * n));
    }
    double sum = 0.0;
    for (auto _ : state) {
        for (double x : programme) sum += varnolt::chain_sample(*instance, x, k_sample_rate);
        benchmark::DoNotOptimize(sum);
    }
    const double audio_seconds =
        static_cast<double>(state.iterations()) * k_programme_frames / k_sample_rate;
    state.counters["realtime_factor"] =
        benchmark::Counter(audio_seconds, benchmark::Counter::kIsRate);
}
BENCHMARK(dolby_decoders)
    ->ArgNames({"standard", "stages"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({0, 1})
    ->Args({1, 1})
    ->Args({0, 2})
    ->Args({1, 2});

}  // namespace

BENCHMARK_MAIN();
