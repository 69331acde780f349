#include "monitor_output.h"

#include <algorithm>
#include <cmath>

#include "processors/azimuth_units.h"
#include "processors/processor.h"
#include "processors/singleband.h"

namespace varnolt::lv2 {
namespace {

double within(double v, const MonitorDescription& described) {
    if (std::isnan(v)) return described.minimum;
    return std::clamp(v, described.minimum, described.maximum);
}

}  // namespace

void update_monitors(Instance& instance, double sample_rate, double (&values)[k_monitor_ports]) {
    const LiveParameters& live = instance.live;
    const bool processing = live.processing_mode != k_mode_bypass;

    values[k_monitor_azimuth] =
        within(azimuth_slope_um(instance.stereo_state.current_slope, sample_rate),
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
        compressing ? within(20.0 * std::log10(s.gain * k_compressor_output_gain),
                             monitor_descriptions[k_monitor_compressor_gain])
                    : 0.0;
}

}  // namespace varnolt::lv2
