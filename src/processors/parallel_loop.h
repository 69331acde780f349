#pragma once
// Loops that fork an OpenMP team only above a trip count. Short loops stay outside any parallel
// region: even a region that runs on one thread goes through the runtime's team start, which
// costs more than the loop on some platforms (about 0.3 ms per call in the DLL under wine).

namespace varnolt {

// Calls body(i) for i = 0 .. count - 1; in parallel (static schedule) when count > threshold.
template <class Body>
void for_each_index(int count, int threshold, Body body) {
    if (count > threshold) {
#pragma omp parallel for schedule(static)
        for (int i = 0; i < count; ++i) body(i);
    } else {
        for (int i = 0; i < count; ++i) body(i);
    }
}

// The sum of term(i) for i = 0 .. count - 1; a parallel reduction when count > threshold.
template <class Term>
double sum_over(int count, int threshold, Term term) {
    double sum = 0.0;
    if (count > threshold) {
#pragma omp parallel for schedule(static) reduction(+ : sum)
        for (int i = 0; i < count; ++i) sum += term(i);
    } else {
        for (int i = 0; i < count; ++i) sum += term(i);
    }
    return sum;
}

}  // namespace varnolt
