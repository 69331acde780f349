#pragma once

#include <algorithm>
#include <cmath>

namespace varnolt {

// A pixel row or column from a real position: limited to low .. high before the conversion,
// and low for a position that is not a number.
inline int limited(double v, int low, int high) {
    if (std::isnan(v)) return low;
    return static_cast<int>(
        std::trunc(std::clamp(v, static_cast<double>(low), static_cast<double>(high))));
}

}  // namespace varnolt
