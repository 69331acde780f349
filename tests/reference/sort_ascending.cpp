#include "reference/sort_ascending.h"

#include <algorithm>

namespace varnolt::reference {

void sort_ascending(double* values, int count, double* scratch) {
    if (count < 2) return;
    const int first = (count - 1) / 2 + 1;
    sort_ascending(values, first, scratch);
    sort_ascending(values + first, count - first, scratch);
    int i = 0, j = first, out = 0;
    while (i < first && j < count)
        scratch[out++] = values[j] < values[i] ? values[j++] : values[i++];
    while (i < first) scratch[out++] = values[i++];
    while (j < count) scratch[out++] = values[j++];
    std::copy(scratch, scratch + count, values);
}

}  // namespace varnolt::reference
