#include "processors/singleband.h"

#include <algorithm>
#include <cmath>

#include "processors/parallel_loop.h"
#include "processors/working_range.h"

namespace varnolt {

namespace {

constexpr int k_default_target = 163;  // about -46 dBFS before the fixed gain of 100
constexpr double k_curve_steps = 32.0;
constexpr double k_flat_knee_exponent = 1e21;  // stands in for 1/knee when knee is 0
constexpr double k_knee_low = 0.01;
constexpr double k_knee_high = 0.99;
// The largest output magnitude: full scale in the working scale.
constexpr double k_full_scale = 32768.0;

}  // namespace

Singleband::Singleband(SinglebandState& singleband_state) : singleband_state(singleband_state) {
    log2_size = k_log2_block_frames;
    norm_divisor = k_block_frames;
    last_index = k_block_frames - 1;
    latency = 0;  // works sample by sample
    apply_defaults();
    singleband_state.reset_requested = false;
    finit();
    singleband_state.reference_gain = 1.0;
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
    s.knee = 0.0;
    s.release_ramp = 1.0;
}

void Singleband::finit() {
    SinglebandState& s = singleband_state;
    const double a = s.knee != 0.0 ? 1.0 / s.knee : k_flat_knee_exponent;
    const double lambda = std::log(a) / std::log(10.0);
    const double target = s.target_level;
    const double knee = s.knee;
    // Every entry is independent: one contiguous range per thread.
    for_each_index(k_level_curve_entries, 0, [&](int i) {
        const double c = i / k_curve_steps;
        double value = target;
        if (c >= 1.0) {
            value = target * (c + std::exp(-c * lambda));
        } else if (c > 0.0) {
            value = target * (1.0 + knee * std::exp(a * std::log(c) / std::log(10.0)));
        }
        s.level_curve[i] = value;
    });
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
    if (s.knee != s.curve_knee || s.target_level != s.curve_target) {
        s.curve_knee = s.knee;
        s.curve_target = s.target_level;
        if (s.knee > k_knee_low && s.knee < k_knee_high) finit();
    }

    const double magnitude = std::fabs(x);
    double level = magnitude;
    if (s.knee >= k_knee_high) {
        level = magnitude + s.target_level / s.reference_gain;
    } else if (s.knee > k_knee_low) {
        const double position = k_curve_steps * magnitude * s.reference_gain / s.target_level;
        if (position < k_level_curve_entries - 1) {
            const int i = static_cast<int>(position);
            const double f = position - i;
            level = ((1.0 - f) * s.level_curve[i] + f * s.level_curve[i + 1]) / s.reference_gain;
        }
    }

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
    // The root changes only with the knee, which nothing changes while playing.
    if (!(s.knee == s.root_knee)) {
        s.root_knee = s.knee;
        s.output_root = std::sqrt(s.knee + 1.0);
    }
    // The gain follows the level at its attack rate, so a sudden peak (a click over quiet
    // programme the gain has lifted by 40 dB) leaves at up to 100 times its level for the first
    // samples. Only the sample leaving is held at full scale, as a gain that never lets the peak
    // pass it would hold it; the gain itself goes on as before, so every output below full
    // scale keeps its level.
    s.output = std::clamp(s.gain * x * s.output_root * k_compressor_output_gain, -k_full_scale,
                          k_full_scale);
}

}  // namespace varnolt
