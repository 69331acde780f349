// The Dolby B stage of the tape processor and the band sum: per output frame, a sidechain level
// measured from the weighted high bands selects a row of the gain table, each band is lowered
// by the row's gain at its frequency column, and the de-emphasised bands are summed into the
// output ring.

#include <climits>
#include <cmath>

#include "processors/dolby_stage.h"
#include "processors/dolby_table.h"
#include "processors/tape_control.h"
#include "processors/tape_processor.h"
#include "processors/working_range.h"
#include "settings/parameters.h"

namespace varnolt {
namespace {

constexpr double k_sidechain_scale = 1.85;  // sidechain units per band-weighted sample at 44.1 kHz
constexpr double k_reference_rate = 44100.0;
constexpr double k_disabled_inverse_strength = 1e12;  // gains 1 + (gt - 1) * 1e-12
constexpr int k_hold_frames = 50;  // the level starts to decay 52 frames after the last attack
constexpr int k_last_lower_column = 29;

// One block's frames between the sidechain pass and the band pass.
struct DolbyScratch {
    const double* lower[2][k_hop_frames_capacity];  // table rows per channel and frame
    const double* upper[2][k_hop_frames_capacity];
    double t[2][k_hop_frames_capacity];
    double wet[k_hop_frames_capacity][2];
    double dry[k_hop_frames_capacity][2];
};
DolbyScratch dolby_scratch;

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

namespace {

// dolby_row_blend with the search started where the previous frame's ended: the level moves by
// a fraction of a row from frame to frame. `row` carries the lower row from call to call.
RowBlend row_blend_near(double level, int& row) {
    if (!(level >= dolby_table[0].threshold)) {  // also a NaN, as the plain search finds no row
        row = 0;
        return {0, 0, 0.0};
    }
    if (level >= dolby_table[k_dolby_rows - 1].threshold) {
        row = k_dolby_rows - 1;
        return {row, row, 0.0};
    }
    while (row > 0 && level < dolby_table[row].threshold) --row;
    while (row + 2 < k_dolby_rows && level >= dolby_table[row + 1].threshold) ++row;
    const double low = dolby_table[row].threshold, high = dolby_table[row + 1].threshold;
    return {row, row + 1, (level - low) / (high - low)};
}

}  // namespace

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
    const double strength = tape_control.dolby_active ? p.dolby_strength : 0.0;
    const double rate = k_reference_rate / tape_state.ratio;
    const double sidechain_scale = k_sidechain_scale * rate / k_reference_rate;
    const double attack = p.attack_speed * tape_state.ratio;
    const double decay = p.decay_speed * tape_state.ratio;
    const int hop_frames = frame_count - overlap;

    // What does not change within a block, taken once: the bands' sidechain weights (band 8
    // weighs 1/2, band 1 1/256: the sidechain listens to the treble), their table columns and
    // de-emphasis, and the factors.
    double weight[k_bands + 1];
    int column[k_bands + 1];
    for (int f = 1; f <= k_bands; ++f) {
        weight[f] = std::ldexp(1.0, f - 9);
        column[f] = dolby_column(f, tape_state.rate_shift);
    }
    const double(&factor)[k_bands + 1][2] = tape_state.applied_factor;
    const double* de_emphasis = tape_state.de_emphasis;
    // The meters add up here and go back to the state after the block, in the same order.
    double meter_in[k_bands + 1][2], meter_out[k_bands + 1][2], sidechain_meter[2];
    for (int f = 1; f <= k_bands; ++f)
        for (int ch = 0; ch < 2; ++ch) {
            meter_in[f][ch] = tape_state.band_meter_in[f][ch];
            meter_out[f][ch] = tape_state.band_meter_out[f][ch];
        }
    sidechain_meter[0] = tape_state.sidechain_meter[0];
    sidechain_meter[1] = tape_state.sidechain_meter[1];
    const bool scaled = strength > 0.0;
    int row[2] = {0, 0};
    DolbyScratch& d = dolby_scratch;

    // First every frame's sidechain, which runs from frame to frame: the factors applied, the
    // weighted sum, the level and the table rows it selects.
    for (int n = 0; n < hop_frames; ++n) {
        BandFrame& frame = record[n];
        double s[2] = {0.0, 0.0};
        for (int f = 1; f <= k_bands; ++f) {
            frame.band[f].left = saturate_working(frame.band[f].left * factor[f][0]);
            frame.band[f].right = saturate_working(frame.band[f].right * factor[f][1]);
            s[0] += frame.band[f].left * weight[f];
            s[1] += frame.band[f].right * weight[f];
        }
        for (int ch = 0; ch < 2; ++ch) {
            s[ch] *= sidechain_scale;
            follow_sidechain(ch, s[ch], attack, decay);
            const RowBlend blend = row_blend_near(tape_state.sidechain_level[ch], row[ch]);
            d.lower[ch][n] = dolby_table[blend.lower].gain;
            d.upper[ch][n] = dolby_table[blend.upper].gain;
            d.t[ch][n] = blend.t;
        }
        for (int f = 1; f <= k_bands; ++f) {
            sidechain_meter[0] += std::fabs(s[0]);
            sidechain_meter[1] += std::fabs(s[1]);
        }
        d.wet[n][0] = d.wet[n][1] = d.dry[n][0] = d.dry[n][1] = 0.0;
    }

    // Then band by band over the frames: each meter and each frame's sums are added in the
    // same order as frame by frame, while a band's meters stay in registers.
    for (int f = 1; f <= k_bands; ++f) {
        const int c = column[f];
        const double lift_out = de_emphasis[f];
        for (int ch = 0; ch < 2; ++ch) {
            double in = meter_in[f][ch], out = meter_out[f][ch];
            for (int n = 0; n < hop_frames; ++n) {
                const double v = ch == 0 ? record[n].band[f].left : record[n].band[f].right;
                // dolby_band_gain, with the rows found once a frame.
                double gain = 1.0;
                if (f > 1) {
                    const double table_gain =
                        (1.0 - d.t[ch][n]) * d.lower[ch][n][c] + d.t[ch][n] * d.upper[ch][n][c + 1];
                    gain = scaled ? 1.0 + (table_gain - 1.0) * strength
                                  : (table_gain - 1.0 + k_disabled_inverse_strength) /
                                        k_disabled_inverse_strength;
                }
                const double y = saturate_working(gain * v);
                in += std::fabs(v);
                out += std::fabs(y);
                d.wet[n][ch] += lift_out * y;
                d.dry[n][ch] += lift_out * v;
            }
            meter_in[f][ch] = in;
            meter_out[f][ch] = out;
        }
    }

    for (int n = 0; n < hop_frames; ++n) {
        if (tape_control.dolby_difference) {
            write_output(d.wet[n][0] - d.dry[n][0]);
            write_output(d.wet[n][1] - d.dry[n][1]);
        } else {
            write_output(d.wet[n][0]);
            write_output(d.wet[n][1]);
        }
    }
    for (int f = 1; f <= k_bands; ++f)
        for (int ch = 0; ch < 2; ++ch) {
            tape_state.band_meter_in[f][ch] = meter_in[f][ch];
            tape_state.band_meter_out[f][ch] = meter_out[f][ch];
        }
    tape_state.sidechain_meter[0] = sidechain_meter[0];
    tape_state.sidechain_meter[1] = sidechain_meter[1];
    // Each frame adds one band sample per band to the meters.
    tape_state.meter_count += k_bands * hop_frames;

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

}  // namespace varnolt
