#pragma once
// What restoring a recording measured on the way: its lengths, peaks, clipped samples and the
// azimuth correction's history. The tool's summary line and the report read it, without the
// restoring itself.

#include <cstddef>
#include <string>
#include <vector>

namespace varnolt::cli {

struct AzimuthPoint {
    double seconds;
    double micrometres;
};

// At most this many points of the azimuth history are kept: a long file keeps every second,
// fourth, … block's, evenly spread over the whole file.
constexpr std::size_t k_most_azimuth_points = 2048;

struct RestoreMeasures {
    long long input_frames = 0;
    long long output_frames = 0;
    double input_peak = 0.0;  // largest magnitude, 1.0 = full scale
    double output_peak = 0.0;
    // Output samples the integer format could not hold, set to its limits: beyond its range
    // by more than one step (a sample at full scale is not among them).
    long long clipped = 0;
    bool azimuth_running = false;  // the correction was switched on and ran
    double azimuth_end = 0.0;      // micrometres, at the end of the file
    std::vector<AzimuthPoint> azimuth;
};

// A peak as "-3.1 dBFS" ("-inf dBFS" for silence, "+3.5 dBFS" above full scale).
std::string dbfs_text(double peak);

}  // namespace varnolt::cli
