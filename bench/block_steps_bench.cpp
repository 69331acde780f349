// The cost of each step of a spread block, next to the share its weight gives it: the weights
// decide when the steps run, so a step that costs more than its share makes its call heavier
// than the others. Every stage on, 44.1 kHz, the first-start quality.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

#include "chain/instance.h"
#include "processors/stereo.h"
#include "processors/tape_control.h"
#include "processors/tape_processor.h"

namespace {

varnolt::Instance& steps_instance() {
    static const auto instance = std::make_unique<varnolt::Instance>();
    return *instance;
}

// Reaches the steps of a processor class.
template <class P>
class Steps : public P {
  public:
    using P::P;
    int count() { return this->block_step_count(); }
    double weight(int s) const { return this->block_step_weight(s); }
    void run(int s) { this->run_block_step(s); }
};

template <class P>
void time_steps(benchmark::State& state, Steps<P>& p) {
    p.set_sample_rate(44100.0);
    p.spread_blocks(true);
    std::mt19937 rng(4);
    std::normal_distribution<double> hiss(0.0, 300.0);
    for (int i = 0; i < 2 * p.hop(); ++i)
        p.push_sample(8000.0 * std::sin(0.01 * (i / 2)) + hiss(rng), true);
    while (p.steps_pending() > 0) p.push_sample(0.0, true);
    const int steps = p.count();
    std::vector<double> seconds(steps, 0.0);
    for (auto _ : state) {
        for (int s = 0; s < steps; ++s) {
            const auto start = std::chrono::steady_clock::now();
            p.run(s);
            seconds[s] +=
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        }
        benchmark::ClobberMemory();
    }
    double total_weight = 0.0, total_seconds = 0.0;
    for (int s = 0; s < steps; ++s) {
        total_weight += p.weight(s);
        total_seconds += seconds[s];
    }
    double worst = 0.0;
    for (int s = 0; s < steps; ++s) {
        char name[32];
        std::snprintf(name, sizeof name, "s%02d_us", s);
        state.counters[name] = 1e6 * seconds[s] / state.iterations();
        // Cost share over weight share: 1 where the weight is right.
        const double ratio = (seconds[s] / total_seconds) / (p.weight(s) / total_weight);
        std::snprintf(name, sizeof name, "s%02d_cost_per_weight", s);
        state.counters[name] = ratio;
        worst = std::max(worst, seconds[s]);
    }
    state.counters["block_us"] = 1e6 * total_seconds / state.iterations();
    state.counters["heaviest_step_share"] = worst / total_seconds;
}

void tape_block_steps(benchmark::State& state) {
    varnolt::Instance& own = steps_instance();
    auto tape =
        std::make_unique<Steps<varnolt::TapeProcessor>>(own.tape_state, own.tape_control, own.live);
    // After construction, which writes the defaults.
    own.tape_control.bias_active = 1;
    own.tape_control.dolby_active = 1;
    own.tape_control.auto_left = own.tape_control.auto_right = 1;
    tape->set_quality(static_cast<int>(state.range(0)));
    time_steps(state, *tape);
}
BENCHMARK(tape_block_steps)->ArgName("quality")->Arg(0)->Arg(2);

void stereo_block_steps(benchmark::State& state) {
    varnolt::Instance& own = steps_instance();
    auto stereo = std::make_unique<Steps<varnolt::Stereo>>(own.stereo_state, own.live);
    own.live.azimuth_enabled = 1;
    own.live.values.fm_enabled = 1;
    time_steps(state, *stereo);
}
BENCHMARK(stereo_block_steps);

}  // namespace
