#include "reference/tape_processor.h"

#include <algorithm>
#include <cmath>

#include "processors/tape_control.h"
#include "processors/working_range.h"
#include "reference/synthesis.h"
#include "reference/transform.h"
#include "settings/parameters.h"

namespace varnolt::reference {
namespace {

constexpr double k_reference_rate = 44100.0;
constexpr double k_follower_keep = 0.9999975;
constexpr double k_follower_fall = 2.5e-6;
constexpr double k_follower_rise_keep = 0.9999;
constexpr double k_follower_rise = 0.0001;

struct PlainScratch {
    complex_lr analysis[k_block_frames];
    complex_lr band_spectrum[k_block_frames];
    stereo_frame band_signal[k_hop_frames_capacity];
    BandFrame record[k_hop_frames_capacity];
};
PlainScratch plain;

// Band f's triangle over the band coordinate, doubled on the lower half of the spectrum so the
// real part of the inverse is the band signal itself; the upper half is cleared.
void plain_band_spectrum(const TapeState& tape_state, int f, const complex_lr* x, complex_lr* y) {
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

// One channel's band level: rises by about 1e-4 per frame, falls by 2.5e-6; an overflowing band
// value leaves it as it was.
void follow_level(double& level, double v) {
    if (!within_working_range(v)) return;
    const double k = k_follower_keep * level + k_follower_fall * v;
    update_within_range(level, std::max(k, k_follower_rise_keep * k + k_follower_rise * v));
}

// The "bias only" and "clustered" rules as the processor applies them, published for the band
// graphs; with the bias equaliser off every factor is 1.
void plain_applied_factors(TapeState& tape_state, const TapeControl& tape_control) {
    const bool auto_on[2] = {tape_control.auto_left != 0, tape_control.auto_right != 0};
    for (int ch = 0; ch < 2; ++ch) {
        double raw[k_bands + 1];
        double applied[k_bands + 1];
        for (int f = 1; f <= k_bands; ++f) raw[f] = tape_state.auto_factor[f][ch];
        apply_factor_rules(raw, auto_on[ch], tape_control.auto_bias_only,
                           tape_control.auto_clustered, applied);
        const bool bias = tape_control.bias_active != 0;
        for (int f = 1; f <= k_bands; ++f) {
            tape_state.auto_factor[f][ch] = bias ? raw[f] : 1.0;
            tape_state.applied_factor[f][ch] = bias ? applied[f] : 1.0;
            tape_state.monitor.auto_factor[f][ch] = tape_state.auto_factor[f][ch];
            tape_state.monitor.applied_factor[f][ch] = tape_state.applied_factor[f][ch];
        }
    }
}

}  // namespace

void TapeProcessor::split_into_bands(const complex_lr* spectrum, BandFrame* record) {
    const int hop_frames = geometry().frames - geometry().overlap;
    const bool auto_on[2] = {tape_control.auto_left != 0, tape_control.auto_right != 0};
    for (int f = 1; f <= k_bands; ++f) {
        const stereo_frame gain = band_gains(f);
        plain_band_spectrum(tape_state, f, spectrum, plain.band_spectrum);
        reference::synthesize(*this, plain.band_spectrum, tape_state.band_tail[f],
                              plain.band_signal);
        const double lift = tape_state.emphasis[f];
        for (int n = 0; n < hop_frames; ++n) {
            const stereo_frame v = {lift * gain.left * plain.band_signal[n].left,
                                    lift * gain.right * plain.band_signal[n].right};
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
        std::isfinite(sample_rate()) && sample_rate() > 0.0 ? sample_rate() : k_reference_rate;
    tape_state.rate_shift = rate_shift_for(rate);
    tape_state.ratio = k_reference_rate / rate;

    assemble_analysis_block(tape_state.kept, plain.analysis);
    reference::transform(plain.analysis, geometry().log2_frames, false);
    split_into_bands(plain.analysis, plain.record);
    plain_applied_factors(tape_state, tape_control);
    decode_and_sum(plain.record);
}

}  // namespace varnolt::reference
