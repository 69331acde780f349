#pragma once
// Values as a hand-edited file, a preset or a host can deliver them, drawn from fuzz bytes.

#include <fuzzer/FuzzedDataProvider.h>

#include <cfloat>

namespace varnolt::fuzzing {

// A real parameter: usually inside the slider's range 0 .. top, else anything finite a file
// can hold, with the extremes that break arithmetic drawn often.
inline double parameter_value(FuzzedDataProvider& data, double top) {
    static constexpr double extremes[] = {0.0,     -0.0,     4.9e-324, -4.9e-324, DBL_MIN,
                                          1e-300,  1e300,    1e305,    1e308,     -1e308,
                                          DBL_MAX, -DBL_MAX, -1.0,     1e12,      -1e12};
    switch (data.ConsumeIntegralInRange<int>(0, 3)) {
        case 0:
            return data.ConsumeFloatingPointInRange<double>(0.0, top);
        case 1:
            return data.PickValueInArray(extremes);
        case 2:
            return data.ConsumeFloatingPoint<double>();
        default:
            return -1.0;  // "keep the current value"
    }
}

}  // namespace varnolt::fuzzing
