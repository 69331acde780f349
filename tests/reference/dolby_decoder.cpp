// The plain implementation kept as the yardstick of the optimised processors: the stated
// algorithms as first written, in a namespace of their own with state of their own.
// The equivalence tests run both on the same signals; nothing in the plug-in uses this.
// The Dolby B stage of the tape processor and the band sum: per output frame, a sidechain level
// measured from the weighted high bands selects a row of the gain table, each band is lowered
// by the row's gain at its frequency column, and the de-emphasised bands are summed into the
// output ring.

#include <climits>
#include <cmath>

#include "processors/tape_control.h"
#include "processors/working_range.h"
#include "reference/dolby_stage.h"
#include "reference/dolby_table.h"
#include "reference/tape_processor.h"
#include "settings/parameters.h"

namespace varnolt::reference {
namespace {

constexpr double k_sidechain_scale = 1.85;  // sidechain units per band-weighted sample at 44.1 kHz
constexpr double k_reference_rate = 44100.0;
constexpr double k_disabled_inverse_strength = 1e12;  // gains 1 + (gt - 1) * 1e-12
constexpr int k_hold_frames = 50;  // the level starts to decay 52 frames after the last attack
constexpr int k_last_lower_column = 29;

}  // namespace

RowBlend dolby_row_blend(double level) {
    for (int i = 0; i + 1 < k_dolby_rows; ++i) {
        const double low = dolby_table[i].threshold;
        const double high = dolby_table[i + 1].threshold;
        if (low <= level && level < high) return {i, i + 1, (level - low) / (high - low)};
    }
    const int row = level >= dolby_table[k_dolby_rows - 1].threshold ? k_dolby_rows - 1 : 0;
    return {row, row, 0.0};
}

int dolby_column(int band, int rate_shift) {
    int c = rate_shift + 4 * band - 3;
    if (c > k_last_lower_column) c = k_last_lower_column;
    if (c < 2) c = 1;
    return c;
}

double dolby_band_gain(int band, const RowBlend& blend, int column, double strength) {
    if (band == 1) return 1.0;
    const double table_gain = (1.0 - blend.t) * dolby_table[blend.lower].gain[column] +
                              blend.t * dolby_table[blend.upper].gain[column + 1];
    // Scaling by the strength needs no division: the inverse of a subnormal strength is inf,
    // and (gt - 1 + inf) / inf is NaN.
    if (strength > 0.0) return 1.0 + (table_gain - 1.0) * strength;
    return (table_gain - 1.0 + k_disabled_inverse_strength) / k_disabled_inverse_strength;
}

void follow_sidechain(int ch, double s, double attack, double decay) {
    double& level = tape_state.sidechain_level[ch];
    int& hold = tape_state.hold_counter[ch];
    if (hold > INT_MIN + 1) --hold;  // saturates long before it could wrap
    double next = level;
    if (hold < -1) next *= 1.0 - decay;
    if (s > next) {
        hold = k_hold_frames;
        next += attack * s * s;
    }
    // An "Attack speed" of 1e305 would pin the level at inf for good.
    update_within_range(level, next);
}

void TapeProcessor::decode_and_sum(BandFrame* record) {
    const Settings& p = live.values;
    const double strength = tape_control.dolby_active ? p.dolby_strength.load() : 0.0;
    const double rate = k_reference_rate / tape_state.ratio;
    const double sidechain_scale = k_sidechain_scale * rate / k_reference_rate;
    const double attack = p.attack_speed * tape_state.ratio;
    const double decay = p.decay_speed * tape_state.ratio;
    const int hop_frames = frame_count - overlap;

    for (int n = 0; n < hop_frames; ++n) {
        BandFrame& frame = record[n];
        double s[2] = {0.0, 0.0};
        for (int f = 1; f <= k_bands; ++f) {
            frame.band[f].left =
                saturate_working(frame.band[f].left * tape_state.applied_factor[f][0]);
            frame.band[f].right =
                saturate_working(frame.band[f].right * tape_state.applied_factor[f][1]);
            // Band 8 weighs 1/2, band 1 1/256: the sidechain listens to the treble.
            const double weight = std::ldexp(1.0, f - 9);
            s[0] += frame.band[f].left * weight;
            s[1] += frame.band[f].right * weight;
        }
        RowBlend blend[2];
        for (int ch = 0; ch < 2; ++ch) {
            s[ch] *= sidechain_scale;
            follow_sidechain(ch, s[ch], attack, decay);
            blend[ch] = dolby_row_blend(tape_state.sidechain_level[ch]);
        }

        double wet[2] = {0.0, 0.0};
        double dry[2] = {0.0, 0.0};
        for (int f = 1; f <= k_bands; ++f) {
            const int c = dolby_column(f, tape_state.rate_shift);
            const double v[2] = {frame.band[f].left, frame.band[f].right};
            for (int ch = 0; ch < 2; ++ch) {
                const double gain = dolby_band_gain(f, blend[ch], c, strength);
                const double y = saturate_working(gain * v[ch]);
                tape_state.band_meter_in[f][ch] += std::fabs(v[ch]);
                tape_state.band_meter_out[f][ch] += std::fabs(y);
                wet[ch] += tape_state.de_emphasis[f] * y;
                dry[ch] += tape_state.de_emphasis[f] * v[ch];
            }
            tape_state.meter_count += 1;
            tape_state.sidechain_meter[0] += std::fabs(s[0]);
            tape_state.sidechain_meter[1] += std::fabs(s[1]);
        }
        if (tape_control.dolby_difference) {
            write_output(wet[0] - dry[0]);
            write_output(wet[1] - dry[1]);
        } else {
            write_output(wet[0]);
            write_output(wet[1]);
        }
    }
    // Nothing reads the meters while no window is shown; start them over before the count
    // could wrap, which keeps their averages meaningful.
    if (tape_state.meter_count > INT_MAX / 2) {
        for (int f = 1; f <= k_bands; ++f)
            for (int ch = 0; ch < 2; ++ch)
                tape_state.band_meter_in[f][ch] = tape_state.band_meter_out[f][ch] = 0.0;
        tape_state.sidechain_meter[0] = tape_state.sidechain_meter[1] = 0.0;
        tape_state.meter_count = 0;
    }
}

}  // namespace varnolt::reference
