#pragma once
// Per-call costs of a host's calls into the plug-in, in wall time and in the calling thread's CPU
// time, and their distribution as Google Benchmark counters: the evenness of the calls, not
// their sum, decides whether a host with small buffers hears a drop-out.

#include <benchmark/benchmark.h>
#include <time.h>

#include <chrono>
#include <vector>

namespace varnolt::bench {

inline double thread_cpu_seconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

struct CallTimings {
    std::vector<double> wall_us;
    std::vector<double> cpu_us;

    explicit CallTimings(std::size_t calls) {
        // Reserved up front, so the measurement's own storage does not grow between calls.
        wall_us.reserve(calls);
        cpu_us.reserve(calls);
    }

    // Times one call of `call()`.
    template <class Call>
    void time(Call&& call) {
        const double cpu_before = thread_cpu_seconds();
        const auto wall_before = std::chrono::steady_clock::now();
        call();
        const auto wall_after = std::chrono::steady_clock::now();
        const double cpu_after = thread_cpu_seconds();
        wall_us.push_back(
            std::chrono::duration<double, std::micro>(wall_after - wall_before).count());
        cpu_us.push_back((cpu_after - cpu_before) * 1e6);
    }
};

// Each call's least thread CPU time over rounds that made the same calls on the same input from
// the same start: what the call's own work costs, without the interruptions and page faults
// that land on one round's calls at random.
std::vector<double> least_cpu_per_call(const std::vector<CallTimings>& rounds);

// Mean, p50, p99, p99.9 and the worst call in microseconds, the worst over the mean, the worst as
// a share of `budget_us` (the call's own audio duration), and the share of calls above three
// times the mean; for the wall time (no prefix) and the thread's CPU time ("cpu_").
void report_call_distribution(benchmark::State& state, const CallTimings& timings,
                              double budget_us);
// The same of the least CPU time per call over rounds ("least_cpu_"), after the first round's
// counters.
void report_call_distribution(benchmark::State& state, const std::vector<CallTimings>& rounds,
                              double budget_us);

}  // namespace varnolt::bench
