#include "processors/kth_smallest.h"

#include <algorithm>

namespace varnolt {

// The NaNs are moved past the numbers first: a k among them reads a NaN, and otherwise the
// selection among the numbers compares with a plain `<`, all the ordering the sort's
// comparison gives them.
double kth_smallest(double* values, int count, int k) {
    double* const numbers_end =
        std::partition(values, values + count, [](double v) { return v == v; });
    if (values + k < numbers_end) std::nth_element(values, values + k, numbers_end);
    return values[k];
}

}  // namespace varnolt
