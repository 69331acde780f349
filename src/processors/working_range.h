#pragma once
// The range of the values the processors compute with: samples, band values and the levels
// that follow them. With every setting inside the window's ranges they stay below about 1e14
// (full scale is 32768); only a gain or coefficient beyond any sensible range (a hand-edited
// 1e308) takes them further. Beyond the ceiling a sample saturates at it, so the output is
// driven to its limits rather than into inf and NaN, and a state update beyond it is an
// overflow that leaves the state as it was: a level followed from block to block must not keep
// an overflow after the value that caused it is put right.

#include <algorithm>
#include <cmath>

namespace varnolt {

constexpr double k_working_ceiling = 1e18;

// Whether v is a value the state may take: false for NaN, infinities and overflows.
inline bool within_working_range(double v) {
    return std::fabs(v) <= k_working_ceiling;
}

// A sample limited to the working range; a NaN, which has no nearer limit, becomes silence.
inline double saturate_working(double v) {
    if (std::fabs(v) <= k_working_ceiling) return v;  // all but the rare overflow: one compare
    if (std::isnan(v)) return 0.0;
    return std::copysign(k_working_ceiling, v);
}

// Takes `next` into `state` unless it is an overflow.
inline void update_within_range(double& state, double next) {
    if (within_working_range(next)) state = next;
}

}  // namespace varnolt
