#pragma once
// Loops that fork the OpenMP team only above a trip count, and only when the team has more than
// one thread. Short loops stay outside any parallel region: even a region that runs on one
// thread goes through the runtime's team start, which costs more than the loop on some
// platforms (about 0.3 ms per call in the DLL under wine) and allocates a team each time.

#include <omp.h>

#include "processors/openmp_team.h"

namespace varnolt {

// Calls body(i) for i = 0 .. count - 1; in parallel (static schedule) when count > threshold.
template <class Body>
void for_each_index(int count, int threshold, Body body) {
    if (count > threshold && openmp_team_size() > 1) {
#pragma omp parallel for schedule(static)
        for (int i = 0; i < count; ++i) body(i);
    } else {
        for (int i = 0; i < count; ++i) body(i);
    }
}

// The sum of term(i) for i = 0 .. count - 1; in parallel when count > threshold. Each thread
// sums one contiguous range, as a static schedule hands them out, and the partial sums are
// added in thread order afterwards: the total does not depend on which thread finishes first,
// and no lock is taken.
template <class Term>
double sum_over(int count, int threshold, Term term) {
    const int team = openmp_team_size();
    double sum = 0.0;
    if (count > threshold && team > 1) {
        double partial[k_largest_team] = {};
#pragma omp parallel num_threads(team)
        {
            const long long t = omp_get_thread_num(), n = omp_get_num_threads();
            const int begin = static_cast<int>(count * t / n);
            const int end = static_cast<int>(count * (t + 1) / n);
            double s = 0.0;
            for (int i = begin; i < end; ++i) s += term(i);
            partial[t] = s;
        }
        for (int t = 0; t < team; ++t) sum += partial[t];
    } else {
        for (int i = 0; i < count; ++i) sum += term(i);
    }
    return sum;
}

}  // namespace varnolt
