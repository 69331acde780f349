#pragma once

namespace varnolt {

// The value sort_ascending (processors/sort_ascending.h) would leave at position k of the
// `count` values, 0 <= k < count, found without sorting them all: the hiss filter reads one
// quantile of each block's excess and of the level history, and a selection costs a fraction of
// a sort. NaNs rank above every number, as they go last in the sort. Reorders the values.
double kth_smallest(double* values, int count, int k);

}  // namespace varnolt
