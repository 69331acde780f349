// Cost of the block processors: one tape-processor block per quality, one stereo block per stage.

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "chain/instance.h"
#include "processors/stereo.h"
#include "processors/tape_control.h"
#include "processors/tape_processor.h"
#include "settings/parameters.h"

namespace {

// The benchmarks' own instance, whose states the processors work on.
varnolt::Instance& own_instance() {
    static const auto instance = std::make_unique<varnolt::Instance>();
    return *instance;
}

// One block at quality 0 (high), 1 (normal), 2 (low), with "Bias" and the Dolby B stage on.
void tape_process_block(benchmark::State& state) {
    const int quality = static_cast<int>(state.range(0));
    auto tape = std::make_unique<varnolt::TapeProcessor>(
        own_instance().tape_state, own_instance().tape_control, own_instance().live);
    tape->set_quality(quality);
    tape->set_sample_rate(44100.0);
    own_instance().tape_control.bias_active = 1;
    own_instance().tape_control.dolby_active = 1;
    // One hop of input collected (and processed once) as the chain would; the intake keeps it.
    for (int i = 0; i < tape->hop(); ++i) tape->push_sample(8000.0 * std::sin(0.01 * i), true);
    for (auto _ : state) {
        tape->process_block();
        benchmark::DoNotOptimize(tape->output_ring());
        benchmark::ClobberMemory();
    }
    state.counters["hop_frames"] = tape->hop() / 2;
}
BENCHMARK(tape_process_block)->Arg(0)->Arg(1)->Arg(2);

}  // namespace

namespace {

// One stereo block: argument 0 selects the stages (1 azimuth, 2 hiss, 3 both), argument 1 the
// quality (0 high, 2 low; only the azimuth search step depends on it).
void stereo_process_block(benchmark::State& state) {
    const int stages = static_cast<int>(state.range(0));
    auto stereo =
        std::make_unique<varnolt::Stereo>(own_instance().stereo_state, own_instance().live);
    own_instance().live.azimuth_enabled = (stages & 1) != 0;
    own_instance().live.values.fm_enabled = (stages & 2) != 0;
    stereo->set_quality_keeping_geometry(static_cast<int>(state.range(1)));
    stereo->set_sample_rate(44100.0);
    std::mt19937 rng(4);
    std::normal_distribution<double> hiss(0.0, 300.0);
    for (int i = 0; i < stereo->hop(); ++i)
        stereo->push_sample(8000.0 * std::sin(0.01 * (i / 2)) + hiss(rng), true);
    for (auto _ : state) {
        stereo->process_block();
        benchmark::DoNotOptimize(stereo->output_ring());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(stereo_process_block)
    ->ArgNames({"stages", "quality"})
    ->Args({1, 0})
    ->Args({1, 2})
    ->Args({2, 0})
    ->Args({2, 2})
    ->Args({3, 0})
    ->Args({3, 2});

}  // namespace
