#pragma once

namespace varnolt {

// Sorts `count` doubles ascending in place, without a buffer. NaNs, which no guarded spectrum
// holds, go last rather than break the ordering the hiss filter's quantiles rely on.
void sort_ascending(double* values, int count);

}  // namespace varnolt
