#pragma once
// Loops that may fork the OpenMP team: only above a trip count, only when the team has more than
// one thread, and only while doing so has lately been faster than the calling thread alone.
// Short loops stay outside any parallel region: even a region that runs on one thread goes
// through the runtime's team start and allocates a team each time. And waking the team costs
// more than a loop saves where the other cores are busy, or where the platform's thread
// primitives are slow (the DLL under wine pays about 0.3 ms a region), so each call site keeps
// the recent cost of both ways and takes the cheaper one.
//
// Either way gives the same result: each index is done once by whoever takes it, under the
// calling thread's floating-point control state (floating_point_control.h), and a sum is added
// up in the same ranges and order whether one thread or the team does it.

#include <omp.h>

#include <chrono>

#include "processors/floating_point_control.h"
#include "processors/openmp_team.h"
#include "settings/relaxed.h"

namespace varnolt {

// The recent cost of one call site's loop, alone and on the team. Shared by every thread that
// runs the site (the playback threads of several instances, the thread running Init for the
// compressor's curve): relaxed values, no lock. Two threads may interleave their updates; that
// only shifts a timing, and the result of the loop never depends on the choice.
class ParallelChoice {
  public:
    struct Decision {
        bool team;     // this call goes to the team
        bool probing;  // it times the way not in use
    };
    // Until both ways have been timed each is tried; then the cheaper one, with the other tried
    // again every k_probe_interval calls (a few seconds of audio), since a machine's load comes
    // and goes.
    Decision decide() {
        const unsigned calls = calls_.update([](unsigned c) { return c + 1; });
        const double alone = cost_[0], team = cost_[1];
        if (team <= 0.0) return {true, false};
        if (alone <= 0.0) return {false, false};
        const bool team_cheaper = team < alone;
        const bool probing = calls % k_probe_interval == 0;
        return {probing ? !team_cheaper : team_cheaper, probing};
    }
    // A probe's time stands for its way at once; the way in use is smoothed over its calls.
    void record(Decision decision, double seconds) {
        relaxed<double>& cost = cost_[decision.team ? 1 : 0];
        const double c = cost;
        cost = c <= 0.0 || decision.probing ? seconds
                                            : (1.0 - k_smoothing) * c + k_smoothing * seconds;
    }

  private:
    static constexpr unsigned k_probe_interval = 128;
    static constexpr double k_smoothing = 0.25;
    relaxed<double> cost_[2] = {0.0, 0.0};  // seconds per call: alone, on the team; 0 until timed
    relaxed<unsigned> calls_ = 0;
};

// Times one call of `run(team)` and tells `choice` what it cost.
template <class Run>
void run_timed(ParallelChoice& choice, Run run) {
    const ParallelChoice::Decision decision = choice.decide();
    const auto start = std::chrono::steady_clock::now();
    run(decision.team);
    choice.record(decision,
                  std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
}

// Calls body(i) for i = 0 .. count - 1; on the team (static schedule) when count > threshold
// and that pays.
template <class Body>
void for_each_index(int count, int threshold, Body body) {
    if (count <= threshold || openmp_team_size() == 1) {
        for (int i = 0; i < count; ++i) body(i);
        return;
    }
    static ParallelChoice choice;  // one per call site: each site's lambda is its own type
    run_timed(choice, [count, &body](bool team) {
        if (team) {
            const FloatingPointControl control = current_floating_point_control();
#pragma omp parallel
            {
                const FloatingPointControlScope same_arithmetic(control);
#pragma omp for schedule(static)
                for (int i = 0; i < count; ++i) body(i);
            }
        } else {
            for (int i = 0; i < count; ++i) body(i);
        }
    });
}

// The sum of term(i) for i = 0 .. count - 1; when count > threshold it is added up in one
// contiguous range per thread of the team, as a static schedule hands them out, and the
// partial sums in thread order: the total does not depend on which thread finishes first, on
// whether the team or the calling thread did the work, and no lock is taken.
template <class Term>
double sum_over(int count, int threshold, Term term) {
    const int team_size = openmp_team_size();
    double sum = 0.0;
    if (count <= threshold || team_size == 1) {
        for (int i = 0; i < count; ++i) sum += term(i);
        return sum;
    }
    double partial[k_largest_team] = {};
    const auto range_sum = [count, team_size, &term](long long t) {
        const int begin = static_cast<int>(count * t / team_size);
        const int end = static_cast<int>(count * (t + 1) / team_size);
        double s = 0.0;
        for (int i = begin; i < end; ++i) s += term(i);
        return s;
    };
    static ParallelChoice choice;
    run_timed(choice, [&](bool team) {
        if (team) {
            const FloatingPointControl control = current_floating_point_control();
#pragma omp parallel num_threads(team_size)
            {
                const FloatingPointControlScope same_arithmetic(control);
                const int t = omp_get_thread_num();
                // A runtime that grants fewer threads leaves the rest to the first one.
                for (int r = t; r < team_size; r += omp_get_num_threads())
                    partial[r] = range_sum(r);
            }
        } else {
            for (int r = 0; r < team_size; ++r) partial[r] = range_sum(r);
        }
    });
    for (int t = 0; t < team_size; ++t) sum += partial[t];
    return sum;
}

}  // namespace varnolt
