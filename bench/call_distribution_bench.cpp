// The cost of each host call, call by call, rather than of the whole stream: the block processors
// work on blocks longer than a small host call, so their work lands on the call that completes a
// block, and that call, not the mean, decides whether the host's buffer is filled in time.
// After a second of warm-up, about 20 s of every-stage-on (High quality) pink noise in calls of
// a fixed size, one thread, three rounds of the same calls:
// - call_distribution_dll: modify_samples on the player's instance, 16-bit stereo;
// - call_distribution_lv2: the LV2 plug-in's run() on an instance of its own, the built module
//   loaded as a host loads it, stereo float ports.
// Arguments: frames per call and sample rate. Counters: call_timings.h; the first round's, and
// ("least_cpu_") each call's least CPU time over the rounds.

#include <benchmark/benchmark.h>
#include <omp.h>

#include <cstdint>
#include <string>
#include <vector>

#include "call_timings.h"
#include "pink_noise.h"
#ifdef VARNOLT_BENCH_WITH_LV2
#include "lv2_module.h"
#endif
#include "chain/instance.h"
#include "plugin/dll_instance.h"
#include "plugin/modify_samples.h"
#include "processors/processor_set.h"

namespace varnolt::bench {
namespace {

constexpr double k_warm_up_seconds = 1.0;
constexpr double k_measured_seconds = 20.0;
// The same calls this many times, each time from a fresh start: a call heavy in every round is
// heavy by its work; one heavy in one round only met the machine's noise.
constexpr int k_rounds = 3;

// Calls of `frames` frames covering about `seconds` of audio at `rate`.
int calls_for(double seconds, int frames, int rate) {
    return static_cast<int>(seconds * rate / frames + 0.5);
}

// One round of the player's calls. The instance's states (filters, levels, histories) outlive
// its processors, as across the player's Quit and Init, so a later round starts from where the
// one before left them: the same calls on the same input, the same blocks completing in them.
void dll_round(int frames, int rate, std::vector<std::int16_t> pcm, int warm_up,
               CallTimings& timings) {
    Instance& instance = dll_instance();
    create_processors(instance);
    instance.live.values.quality = 0;
    instance.live.values.bias_enabled = 1;
    instance.live.values.dolby_enabled = 1;
    instance.live.azimuth_enabled = 1;
    instance.live.values.fm_enabled = 1;
    instance.live.values.singleband_enabled = 1;
    const int calls = static_cast<int>(pcm.size() / (2 * static_cast<std::size_t>(frames)));
    for (int call = 0; call < calls; ++call) {
        std::int16_t* samples = pcm.data() + 2 * static_cast<std::size_t>(call) * frames;
        const auto run = [&] { modify_samples(nullptr, samples, frames, 16, 2, rate); };
        if (call < warm_up)
            run();
        else
            timings.time(run);
    }
    benchmark::DoNotOptimize(pcm.data());
    destroy_processors(instance);
}

void call_distribution_dll(benchmark::State& state) {
    const int frames = static_cast<int>(state.range(0));
    const int rate = static_cast<int>(state.range(1));
    omp_set_num_threads(1);
    const int warm_up = calls_for(k_warm_up_seconds, frames, rate);
    const int measured = calls_for(k_measured_seconds, frames, rate);
    const std::vector<std::int16_t> pcm = pink_noise((warm_up + measured) * frames);
    std::vector<CallTimings> rounds(k_rounds, CallTimings(measured));
    for (auto _ : state)
        for (CallTimings& round : rounds) dll_round(frames, rate, pcm, warm_up, round);
    report_call_distribution(state, rounds, 1e6 * frames / rate);
}
BENCHMARK(call_distribution_dll)
    ->ArgNames({"frames", "rate"})
    ->Args({576, 44100})
    ->Args({576, 48000})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

#ifdef VARNOLT_BENCH_WITH_LV2
// One round of a host's calls on a fresh instance of the plug-in; false with `why` if it could
// not be made.
bool lv2_round(int frames, int rate, const std::vector<std::int16_t>& pcm, int warm_up,
               CallTimings& timings, std::string& why) {
    Lv2Stereo plugin(VARNOLT_LV2_MODULE, rate, frames);
    if (!plugin.ok()) {
        why = plugin.why();
        return false;
    }
    for (const char* symbol : {"bias_enabled", "dolby_b_remover_enabled",
                               "fm_stereo_noise_filter_enabled", "singleband_compressor_enabled",
                               "bias_auto_adjust_left_channel_amplification", "azimuth"}) {
        if (!plugin.set_control(symbol, 1.0f)) {
            why = symbol;
            return false;
        }
    }
    plugin.set_control("plugin_configuration_cpu_usage_quality", 0.0f);
    const int calls = static_cast<int>(pcm.size() / (2 * static_cast<std::size_t>(frames)));
    for (int call = 0; call < calls; ++call) {
        // The host's buffers are filled outside the call, as a host fills them.
        const std::int16_t* samples = pcm.data() + 2 * static_cast<std::size_t>(call) * frames;
        for (int i = 0; i < frames; ++i)
            for (int ch = 0; ch < 2; ++ch)
                plugin.input(ch)[i] = samples[2 * i + ch] * (1.0f / 32768.0f);
        const auto run = [&] { plugin.run(frames); };
        if (call < warm_up)
            run();
        else
            timings.time(run);
    }
    benchmark::DoNotOptimize(plugin.output(0));
    return true;
}

void call_distribution_lv2(benchmark::State& state) {
    const int frames = static_cast<int>(state.range(0));
    const int rate = static_cast<int>(state.range(1));
    const int warm_up = calls_for(k_warm_up_seconds, frames, rate);
    const int measured = calls_for(k_measured_seconds, frames, rate);
    const std::vector<std::int16_t> pcm = pink_noise((warm_up + measured) * frames);
    std::vector<CallTimings> rounds(k_rounds, CallTimings(measured));
    std::string why;
    for (auto _ : state)
        for (CallTimings& round : rounds)
            if (!lv2_round(frames, rate, pcm, warm_up, round, why)) {
                state.SkipWithError(why.c_str());
                return;
            }
    report_call_distribution(state, rounds, 1e6 * frames / rate);
}
BENCHMARK(call_distribution_lv2)
    ->ArgNames({"frames", "rate"})
    ->ArgsProduct({{32, 64, 256}, {48000, 96000}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
#endif

}  // namespace
}  // namespace varnolt::bench
