#include "monitor_output.h"

#include <algorithm>
#include <cmath>

#include "processors/processor.h"
#include "processors/singleband.h"

namespace varnolt::lv2 {
namespace {

// Cassette speed, 4.76 cm/s: the azimuth correction is a phase slope per bin spacing, which is
// a time offset between the channels, which at this speed is a distance along the tape.
constexpr double k_tape_speed_um_per_s = 47600.0;
// The compressor lifts by this factor before its gain (processors/singleband.cpp).
constexpr double k_compressor_lift = 100.0;

double within(double v, const MonitorDescription& described) {
    if (std::isnan(v)) return described.minimum;
    return std::clamp(v, described.minimum, described.maximum);
}

}  // namespace

void update_monitors(Instance& instance, double sample_rate, double (&values)[k_monitor_ports]) {
    const LiveParameters& live = instance.live;
    const bool processing = live.processing_mode != k_mode_bypass;

    values[k_monitor_azimuth] = within(
        instance.stereo_state.current_slope * k_tape_speed_um_per_s * k_block_frames / sample_rate,
        monitor_descriptions[k_monitor_azimuth]);

    TapeMonitor& meters = instance.tape_state.monitor;
    const bool tape_on = processing && (live.values.bias_enabled || live.values.dolby_enabled);
    for (int ch = 0; ch < 2; ++ch) {
        double& level = values[k_monitor_sidechain_left + ch];
        const MonitorDescription& described = monitor_descriptions[k_monitor_sidechain_left + ch];
        if (!tape_on) {
            level = described.minimum;
        } else if (!meters.meters_taken && meters.meter_count > 0) {
            // The window's level column: 10 log10 of the mean sidechain level.
            level = within(10.0 * std::log10(meters.sidechain_meter[ch] / meters.meter_count),
                           described);
        }
    }
    // Taken: the tape processor starts its sums over at its next block.
    if (tape_on) meters.meters_taken = true;

    const SinglebandState& s = instance.singleband_state;
    const bool compressing = processing && live.values.singleband_enabled;
    values[k_monitor_compressor_gain] =
        compressing ? within(20.0 * std::log10(s.gain * s.output_root * k_compressor_lift),
                             monitor_descriptions[k_monitor_compressor_gain])
                    : 0.0;
}

}  // namespace varnolt::lv2
