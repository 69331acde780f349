// The plain implementation kept as the yardstick of the optimised processors: the stated
// algorithms as first written, in a namespace of their own with state of their own.
// The equivalence tests run both on the same signals; nothing in the plug-in uses this.
#include "reference/tape_processor.h"

#include <algorithm>
#include <cmath>

#include "processors/tape_control.h"
#include "processors/working_range.h"
#include "reference/analysis_block.h"
#include "settings/parameters.h"

namespace varnolt::reference {

TapeState tape_state;

namespace {

constexpr double k_reference_rate = 44100.0;
constexpr double k_quarter_octave = 1.189207115002721;  // 2^(1/4)
constexpr double k_rate_ratio_high = 1.1;
constexpr double k_rate_ratio_low = 0.91;
// Band levels of a cassette's bias range differ from its treble; the band gains act on levels
// lifted by these amounts, and the Dolby stage takes the lift out again.
constexpr double k_emphasis[k_bands + 1] = {0, 0.88, 0.94, 1.0, 1.07, 1.16, 1.25, 1.35, 1.44};
// The band level follower rises by about 1e-4 per frame and falls by 2.5e-6.
constexpr double k_follower_keep = 0.9999975;
constexpr double k_follower_fall = 2.5e-6;
constexpr double k_follower_rise_keep = 0.9999;
constexpr double k_follower_rise = 0.0001;

struct TapeScratch {
    complex_lr analysis[k_block_frames];
    complex_lr band_spectrum[k_block_frames];
    stereo_frame band_signal[k_hop_frames_capacity];
    BandFrame record[k_hop_frames_capacity];
};
TapeScratch scratch;

void build_tables() {
    const double log_half = std::log(static_cast<double>(k_half_bins));
    tape_state.band_position[0] = 2.0;
    for (int k = 1; k < k_half_bins; ++k)
        tape_state.band_position[k] =
            std::clamp(9.0 * std::log(static_cast<double>(k)) / log_half, 2.0, 9.0);
    for (int f = 1; f <= k_bands; ++f) {
        tape_state.emphasis[f] = k_emphasis[f];
        tape_state.de_emphasis[f] = 1.0 / k_emphasis[f];
    }
}

// Band f's gain per channel from the pre-amplifiers, the band sliders and the "relative" flags.
stereo_frame band_gains(int f) {
    if (!tape_control.bias_active) return {1.0, 1.0};
    const Settings& p = live.values;
    double left = p.pre_amplifier_left * p.bands[f].left;
    double right = p.pre_amplifier_right * p.bands[f].right;
    if (tape_control.right_relative_to_left) right *= left;
    if (tape_control.left_relative_to_right) left *= right;
    return {left, right};
}

// Band f's triangle over the band coordinate, doubled on the lower half of the spectrum so the
// real part of the inverse is the band signal itself; the upper half is cleared.
void band_spectrum(int f, const complex_lr* x, complex_lr* y) {
    for (int k = 0; k < k_half_bins; ++k) {
        const double position = tape_state.band_position[k];
        const int t = static_cast<int>(position);
        double weight = 0.0;
        if (t == f + 1) weight = 2.0 * (t + 1 - position);
        if (t == f) weight = 2.0 * (position - t);
        y[k] = {weight * x[k].left_re, weight * x[k].left_im, weight * x[k].right_re,
                weight * x[k].right_im};
    }
    std::fill(y + k_half_bins, y + k_block_frames, complex_lr{0.0, 0.0, 0.0, 0.0});
}

void follow_level(double& level, double v) {
    // An overflowing band value tells nothing about the band's level: the follower keeps what
    // it had, so the automatic adjustment carries on once the gain is put right.
    if (!within_working_range(v)) return;
    const double k = k_follower_keep * level + k_follower_fall * v;
    update_within_range(level, std::max(k, k_follower_rise_keep * k + k_follower_rise * v));
}

// The weaker channel of a band is raised toward the stronger, never lowered.
void update_auto_factor(int f, int channel, bool auto_on) {
    double& factor = tape_state.auto_factor[f][channel];
    if (!auto_on) {
        factor = 1.0;
        return;
    }
    const double own = tape_state.band_level[f][channel];
    const double other = tape_state.band_level[f][1 - channel];
    if (own > 0.0)
        factor = std::max(1.0, std::min(other / own, live.values.maximum_auto_adjustment.load()));
}

void update_applied_factors() {
    if (!tape_control.bias_active) {
        for (int f = 1; f <= k_bands; ++f)
            for (int ch = 0; ch < 2; ++ch)
                tape_state.auto_factor[f][ch] = tape_state.applied_factor[f][ch] = 1.0;
        return;
    }
    const bool auto_on[2] = {tape_control.auto_left != 0, tape_control.auto_right != 0};
    for (int ch = 0; ch < 2; ++ch) {
        double raw[k_bands + 1];
        double applied[k_bands + 1];
        for (int f = 1; f <= k_bands; ++f) raw[f] = tape_state.auto_factor[f][ch];
        apply_factor_rules(raw, auto_on[ch], tape_control.auto_bias_only,
                           tape_control.auto_clustered, applied);
        for (int f = 1; f <= k_bands; ++f) tape_state.applied_factor[f][ch] = applied[f];
    }
}

}  // namespace

int rate_shift_for(double sample_rate) {
    double r = sample_rate / k_reference_rate;
    int shift = 0;
    if (!std::isfinite(r) || r <= 0.0) return 0;
    if (r > k_rate_ratio_high) {
        while (r > k_rate_ratio_high) {
            r /= k_quarter_octave;
            ++shift;
        }
    } else if (r < k_rate_ratio_low) {
        while (r < k_rate_ratio_low) {
            r *= k_quarter_octave;
            --shift;
        }
    }
    return shift;
}

void apply_factor_rules(const double* raw, bool auto_on, bool bias_only, bool clustered,
                        double* applied) {
    double a[k_bands + 1];
    std::copy(raw, raw + k_bands + 1, a);

    // A level difference common to the four lowest bands is the deck's gain, not its bias: leave
    // it and correct only the frequency-dependent part.
    if (bias_only && auto_on) {
        const double common = std::max(1.0, std::min({a[1], a[2], a[3], a[4]}));
        for (int f = 1; f <= k_bands; ++f) a[f] = std::max(1.0, a[f] / common);
    }
    if (!clustered) {
        std::copy(a + 1, a + k_bands + 1, applied + 1);
        return;
    }

    double sum = 0.0;
    for (int f = 1; f <= k_bands; ++f) sum += a[f] - 1.0;
    double kept = sum;

    // Fill dips below the smallest existing neighbour of f - 1, f + 1 and f + 2.
    for (int f = 1; f <= k_bands; ++f) {
        double lowest = HUGE_VAL;
        for (int g : {f - 1, f + 1, f + 2})
            if (g >= 1 && g <= k_bands) lowest = std::min(lowest, a[g]);
        if (a[f] < lowest) {
            applied[f] = lowest;
            kept -= lowest - a[f];
        } else {
            applied[f] = a[f];
        }
    }
    applied[1] = *std::min_element(applied + 1, applied + k_bands + 1);

    // Cut peaks to the larger of the lowest value at or below f and the lowest at or above.
    for (int f = 1; f <= k_bands; ++f) {
        const double below = *std::min_element(applied + 1, applied + f + 1);
        const double above = *std::min_element(applied + f, applied + k_bands + 1);
        const double cap = std::max(below, above);
        if (applied[f] > cap) {
            kept -= applied[f] - cap;
            sum -= applied[f] - cap;
            applied[f] = cap;
        }
    }
    if (auto_on && sum > 0.0) {
        const double scale = kept / sum;
        for (int f = 1; f <= k_bands; ++f) applied[f] = std::max(1.0, scale * applied[f]);
    }
}

TapeProcessor::TapeProcessor() {
    log2_size = 11;
    frame_count = norm_divisor = k_block_frames;
    last_index = k_block_frames - 1;
    half_count = k_half_bins;
    quality = 1;
    set_quality(1);
    TapeProcessor::reset_defaults();  // this class's own defaults, as intended in a constructor
    build_tables();
}

void TapeProcessor::reset_defaults() {
    Settings& p = live.values;
    const Settings defaults;
    p.pre_amplifier_left = defaults.pre_amplifier_left;
    p.pre_amplifier_right = defaults.pre_amplifier_right;
    for (int f = 1; f <= k_bands; ++f) p.bands[f] = defaults.bands[f];
    p.maximum_auto_adjustment = defaults.maximum_auto_adjustment;
    p.attack_speed = defaults.attack_speed;
    p.decay_speed = defaults.decay_speed;
    p.dolby_strength = defaults.dolby_strength;

    tape_control.dolby_active = 0;
    tape_control.dolby_difference = 0;
    tape_control.bias_active = 0;
    tape_control.right_relative_to_left = 0;
    tape_control.left_relative_to_right = 0;
    tape_control.auto_left = 0;
    tape_control.auto_right = 0;
    tape_control.auto_clustered = 1;
    tape_control.auto_bias_only = 1;
}

void TapeProcessor::split_into_bands(complex_lr* spectrum, BandFrame* record) {
    const int hop_frames = frame_count - overlap;
    const bool auto_on[2] = {tape_control.auto_left != 0, tape_control.auto_right != 0};
    for (int f = 1; f <= k_bands; ++f) {
        const stereo_frame gain = band_gains(f);
        band_spectrum(f, spectrum, scratch.band_spectrum);
        synthesize(scratch.band_spectrum, tape_state.band_tail[f], false, true,
                   scratch.band_signal);
        const double lift = tape_state.emphasis[f];
        for (int n = 0; n < hop_frames; ++n) {
            const stereo_frame v = {lift * gain.left * scratch.band_signal[n].left,
                                    lift * gain.right * scratch.band_signal[n].right};
            // Out-of-range gains saturate the band rather than fill it with inf and NaN.
            record[n].band[f] = {saturate_working(v.left), saturate_working(v.right)};
            follow_level(tape_state.band_level[f][0], v.left);
            follow_level(tape_state.band_level[f][1], v.right);
        }
        if (tape_control.bias_active) {
            update_auto_factor(f, 0, auto_on[0]);
            update_auto_factor(f, 1, auto_on[1]);
        }
    }
}

void TapeProcessor::process_block() {
    const double rate =
        std::isfinite(sample_rate) && sample_rate > 0.0 ? sample_rate : k_reference_rate;
    tape_state.rate_shift = rate_shift_for(rate);
    tape_state.ratio = k_reference_rate / rate;

    assemble_analysis_block(*this, tape_state.kept, scratch.analysis);
    transform(scratch.analysis, log2_size, false, false);
    split_into_bands(scratch.analysis, scratch.record);
    update_applied_factors();
    decode_and_sum(scratch.record);
}

}  // namespace varnolt::reference
