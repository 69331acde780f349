#include "call_timings.h"

#include <algorithm>
#include <numeric>
#include <string>

namespace varnolt::bench {
namespace {

// The nearest-rank percentile of sorted values.
double percentile(const std::vector<double>& sorted, double p) {
    const std::size_t last = sorted.size() - 1;
    return sorted[std::min(last, static_cast<std::size_t>(p * last + 0.5))];
}

void report(benchmark::State& state, std::vector<double> us, double budget_us,
            const std::string& prefix) {
    if (us.empty()) return;
    // Where the worst call came, and how many calls it stands alone: a one-off (the first call
    // after the warm-up, a page fault) tells something else than a pattern.
    const auto worst_at = std::max_element(us.begin(), us.end()) - us.begin();
    state.counters[prefix + "max_at_call"] = static_cast<double>(worst_at);
    std::sort(us.begin(), us.end());
    const double mean = std::accumulate(us.begin(), us.end(), 0.0) / us.size();
    const double worst = us.back();
    const auto heavy = us.end() - std::upper_bound(us.begin(), us.end(), 3.0 * mean);
    state.counters[prefix + "mean_us"] = mean;
    state.counters[prefix + "p50_us"] = percentile(us, 0.50);
    state.counters[prefix + "p99_us"] = percentile(us, 0.99);
    state.counters[prefix + "p999_us"] = percentile(us, 0.999);
    state.counters[prefix + "max_us"] = worst;
    state.counters[prefix + "max_per_mean"] = worst / mean;
    state.counters[prefix + "max_of_budget"] = worst / budget_us;
    state.counters[prefix + "over_3mean"] = static_cast<double>(heavy) / us.size();
    state.counters[prefix + "second_us"] = us.size() > 1 ? us[us.size() - 2] : worst;
}

}  // namespace

void report_call_distribution(benchmark::State& state, const CallTimings& timings,
                              double budget_us) {
    report(state, timings.wall_us, budget_us, "");
    report(state, timings.cpu_us, budget_us, "cpu_");
    state.counters["calls"] = static_cast<double>(timings.wall_us.size());
    state.counters["budget_us"] = budget_us;
}

std::vector<double> least_cpu_per_call(const std::vector<CallTimings>& rounds) {
    if (rounds.empty()) return {};
    std::vector<double> least = rounds.front().cpu_us;
    for (const CallTimings& round : rounds)
        for (std::size_t i = 0; i < least.size() && i < round.cpu_us.size(); ++i)
            least[i] = std::min(least[i], round.cpu_us[i]);
    return least;
}

void report_call_distribution(benchmark::State& state, const std::vector<CallTimings>& rounds,
                              double budget_us) {
    if (rounds.empty()) return;
    report_call_distribution(state, rounds.front(), budget_us);
    report(state, least_cpu_per_call(rounds), budget_us, "least_cpu_");
    state.counters["rounds"] = static_cast<double>(rounds.size());
}

}  // namespace varnolt::bench
