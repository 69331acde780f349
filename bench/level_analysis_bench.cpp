// Cost of the Dolby level analysis per channel: the pass `--dolby-level auto` makes before
// restoring, and what the LV2 plug-in's switch adds to its audio thread while it measures.

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "level/dolby_level.h"

namespace {

constexpr double k_rate = 44100.0;
constexpr int k_block_frames = 4096;

// 4096 frames of programme-like signal (a swelling bass under noise), one channel.
void channel_analysis(benchmark::State& state) {
    std::vector<double> samples(k_block_frames);
    std::mt19937 rng(1);
    std::normal_distribution<double> noise(0.0, 0.01);
    for (int n = 0; n < k_block_frames; ++n)
        samples[n] = 0.1 * std::sin(0.0157 * n) + noise(rng);
    varnolt::ChannelLevelAnalysis analysis(k_rate);
    for (auto _ : state) {
        for (double x : samples) analysis.add(x);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * k_block_frames);
    state.counters["realtime_x"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * k_block_frames / k_rate,
        benchmark::Counter::kIsRate);
}
BENCHMARK(channel_analysis);

}  // namespace
