#include "processors/singleband.h"

#include <algorithm>
#include <cmath>

#include "processors/working_range.h"

namespace varnolt {

namespace {

constexpr int k_default_target = 163;  // about -46 dBFS before the fixed gain of 100
// The largest output magnitude: full scale in the working scale.
constexpr double k_full_scale = 32768.0;

}  // namespace

Singleband::Singleband(SinglebandState& singleband_state) : singleband_state(singleband_state) {
    apply_defaults();
    singleband_state.reset_requested = false;
}

void Singleband::reset_defaults() {
    singleband_state.reset_requested = true;
}

void Singleband::apply_defaults() {
    SinglebandState& s = singleband_state;
    s.min_gain = 0.0;
    s.reference_gain = 1.0;
    s.target_level = k_default_target;
    s.release_rate = 0.00002;
    s.attack_rate = 0.05;
    s.gain = 1.0;
    s.release_ramp = 1.0;
}

void Singleband::compress_sample(double x, bool active) {
    SinglebandState& s = singleband_state;
    // A stage before may deliver inf (a gain of 1e308): levelled as the ceiling, it leaves the
    // gain and the output, which is kept while the stage is off, numbers.
    x = saturate_working(x);
    if (s.reset_requested.exchange(false)) apply_defaults();
    if (!active) {
        s.output = x;
        return;
    }
    // The plain peak level.
    const double level = std::fabs(x);

    double g = s.gain;
    double ramp_start = s.release_ramp;
    if (level * s.gain > s.target_level) {
        g = (1.0 - s.attack_rate) * s.gain + s.attack_rate * s.target_level / level;
        if (g >= s.min_gain) {
            ramp_start = 0.0;
        } else {
            g = s.min_gain;
        }
    }
    s.release_ramp = std::min(ramp_start + 2.0 * s.release_rate, 1.0);
    const double release = s.release_rate * s.release_ramp;
    s.gain = g * (1.0 - release) + s.reference_gain * release;
    // The gain follows the level at its attack rate, so a sudden peak (a click over quiet
    // programme the gain has lifted by 40 dB) leaves at up to 100 times its level for the first
    // samples. Only the sample leaving is held at full scale, as a gain that never lets the peak
    // pass it would hold it; the gain itself goes on as before, so every output below full
    // scale keeps its level.
    s.output = std::clamp(s.gain * x * k_compressor_output_gain, -k_full_scale, k_full_scale);
}

}  // namespace varnolt
