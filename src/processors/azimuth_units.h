#pragma once
// The azimuth correction's micrometres: the applied correction is a phase slope in radians per
// bin spacing of the stereo processor's transform, and the window, the limit and the speed call
// it a length of tape: the slope times the tape that passes at cassette speed in one period of the
// bin spacing. (That length is 2 pi times the distance along the tape between the two channels'
// gaps, which is how the settings' ranges were chosen.) One conversion for the processor, the
// tool's line and report, and the LV2 plug-in's port.

#include "processors/processor.h"

namespace varnolt {

constexpr double k_tape_speed_um_per_s = 47600.0;  // 4.76 cm/s

// Micrometres of tape per bin spacing at `sample_rate`: what a slope of one radian per bin is
// called.
inline double tape_per_bin_um(double sample_rate) {
    const double bin_hz = sample_rate / k_block_frames;
    return k_tape_speed_um_per_s / bin_hz;
}

inline double azimuth_slope_um(double slope, double sample_rate) {
    return slope * tape_per_bin_um(sample_rate);
}

}  // namespace varnolt
