#include "processors/sort_ascending.h"

#include <algorithm>

namespace varnolt {

// The library's sort: any correct sort gives the same sequence of values as a merge sort (the
// plain one in tests/reference), and it is about twice as fast.
void sort_ascending(double* values, int count) {
    std::sort(values, values + count,
              [](double a, double b) { return a < b || (a == a && b != b); });
}

}  // namespace varnolt
