#pragma once
// The plain sort the hiss filter's sort (processors/sort_ascending.h) is held to.

namespace varnolt::reference {

// Sorts `count` doubles ascending in place: a top-down merge sort that splits after the first
// (count - 1) / 2 + 1 elements and takes the earlier element on ties. `scratch` holds `count`
// doubles.
void sort_ascending(double* values, int count, double* scratch);

}  // namespace varnolt::reference
