// Whole-stream cost of the sample path as the player meets it: every stage on (the compressor
// too), High quality, pink-ish noise, 16-bit stereo in 576-frame blocks. Reported per run: the
// realtime factor in wall time and in the playback thread's CPU time, and the 50th, 99th
// percentile and the largest single call, in milliseconds and as a share of one block's
// duration. Arguments: OpenMP threads, sample rate, and 1 to keep a busy loop running on
// another core while measuring.

#include <benchmark/benchmark.h>
#include <omp.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <thread>
#include <vector>

#include "chain/instance.h"
#include "pink_noise.h"
#include "plugin/dll_instance.h"
#include "plugin/modify_samples.h"
#include "processors/processor_set.h"
#include "settings/parameters.h"

namespace {

constexpr int k_block = 576;
constexpr double k_seconds = 20.0;

double thread_cpu_seconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

double percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(p * (v.size() - 1) + 0.5))];
}

void every_stage_on_stream(benchmark::State& state) {
    const int threads = static_cast<int>(state.range(0));
    const int rate = static_cast<int>(state.range(1));
    const bool busy = state.range(2) != 0;
    omp_set_num_threads(threads);
    varnolt::create_processors(varnolt::dll_instance());
    varnolt::dll_instance().live.values.quality = 0;
    varnolt::dll_instance().live.values.bias_enabled = 1;
    varnolt::dll_instance().live.values.dolby_enabled = 1;
    varnolt::dll_instance().live.azimuth_enabled = 1;
    varnolt::dll_instance().live.values.fm_enabled = 1;
    varnolt::dll_instance().live.values.singleband_enabled = 1;
    const int frames = static_cast<int>(k_seconds * rate);
    const std::vector<std::int16_t> source = varnolt::bench::pink_noise(frames);
    std::vector<std::int16_t> pcm;

    std::atomic<bool> stop{false};
    std::thread competitor;
    if (busy) {
        competitor = std::thread([&stop] {
            volatile double x = 1.0;
            while (!stop.load(std::memory_order_relaxed)) x = x * 1.0000001 + 1e-9;
        });
    }
    std::vector<double> wall_ms, cpu_ms;
    double wall_total = 0.0, cpu_total = 0.0, audio_total = 0.0;
    // A second of warm-up first: the first blocks touch the processors' storage for the first
    // time and start the OpenMP team.
    pcm = source;
    for (int start = 0; start + k_block <= rate; start += k_block)
        varnolt::modify_samples(nullptr, pcm.data() + 2 * start, k_block, 16, 2, rate);
    for (auto _ : state) {
        pcm = source;
        for (int start = 0; start < frames; start += k_block) {
            const int count = std::min(k_block, frames - start);
            const double cpu_before = thread_cpu_seconds();
            const auto wall_before = std::chrono::steady_clock::now();
            varnolt::modify_samples(nullptr, pcm.data() + 2 * start, count, 16, 2, rate);
            const double wall =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_before)
                    .count();
            const double cpu = thread_cpu_seconds() - cpu_before;
            wall_ms.push_back(wall * 1e3);
            cpu_ms.push_back(cpu * 1e3);
            wall_total += wall;
            cpu_total += cpu;
        }
        audio_total += k_seconds;
        benchmark::DoNotOptimize(pcm.data());
    }
    stop = true;
    if (competitor.joinable()) competitor.join();
    varnolt::destroy_processors(varnolt::dll_instance());

    const double block_ms = 1e3 * k_block / rate;
    state.counters["rt_wall"] = audio_total / wall_total;
    state.counters["rt_cpu"] = audio_total / cpu_total;
    state.counters["p50_ms"] = percentile(wall_ms, 0.50);
    state.counters["p99_ms"] = percentile(wall_ms, 0.99);
    state.counters["max_ms"] = *std::max_element(wall_ms.begin(), wall_ms.end());
    state.counters["max_blocks"] = state.counters["max_ms"] / block_ms;
    state.counters["cpu_p99_ms"] = percentile(cpu_ms, 0.99);
    state.counters["cpu_max_blocks"] = *std::max_element(cpu_ms.begin(), cpu_ms.end()) / block_ms;
}
BENCHMARK(every_stage_on_stream)
    ->ArgNames({"threads", "rate", "busy"})
    ->Args({1, 44100, 0})
    ->Args({2, 44100, 0})
    ->Args({1, 44100, 1})
    ->Args({2, 44100, 1})
    ->Args({1, 96000, 0})
    ->Args({2, 96000, 0})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace
