// The plain implementation kept as the yardstick of the optimised processors: the stated
// algorithms as first written, in a namespace of their own with state of their own.
// The equivalence tests run both on the same signals; nothing in the plug-in uses this.
#pragma once

namespace varnolt::reference {

// Sorts `count` doubles ascending in place: a top-down merge sort that splits after the first
// (count - 1) / 2 + 1 elements and takes the earlier element on ties. `scratch` holds `count`
// doubles. Nothing is allocated.
void sort_ascending(double* values, int count, double* scratch);

}  // namespace varnolt
