// The Dolby B stage and the band sum, one frame at a time: the frame's sidechain level, the
// table rows it selects, each band's gain at its column, the meters and the output.

#include <climits>
#include <cmath>

#include "processors/dolby_table.h"
#include "processors/tape_control.h"
#include "processors/working_range.h"
#include "reference/dolby_stage.h"
#include "reference/tape_processor.h"
#include "settings/parameters.h"

namespace varnolt::reference {
namespace {

constexpr double k_sidechain_scale = 1.85;  // sidechain units per band-weighted sample at 44.1 kHz
constexpr double k_reference_rate = 44100.0;
constexpr double k_disabled_inverse_strength = 1e12;  // gains 1 + (gt - 1) * 1e-12

void add(relaxed<double>& meter, double v) {
    meter = meter + v;
}

void clear_meters(TapeMonitor& monitor) {
    for (int f = 1; f <= k_bands; ++f)
        for (int ch = 0; ch < 2; ++ch)
            monitor.band_meter_in[f][ch] = monitor.band_meter_out[f][ch] = 0.0;
    monitor.sidechain_meter[0] = monitor.sidechain_meter[1] = 0.0;
    monitor.meter_count = 0;
}

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

double dolby_band_gain(int band, const RowBlend& blend, int column, double strength) {
    if (band == 1) return 1.0;
    const double table_gain = (1.0 - blend.t) * dolby_table[blend.lower].gain[column] +
                              blend.t * dolby_table[blend.upper].gain[column + 1];
    // Scaling by the strength needs no division: the inverse of a subnormal strength is inf,
    // and (gt - 1 + inf) / inf is NaN.
    if (strength > 0.0) return 1.0 + (table_gain - 1.0) * strength;
    return (table_gain - 1.0 + k_disabled_inverse_strength) / k_disabled_inverse_strength;
}

void TapeProcessor::decode_and_sum(BandFrame* record) {
    const Settings& p = live.values;
    const double strength = tape_control.dolby_active ? p.dolby_strength.load() : 0.0;
    const double rate = k_reference_rate / tape_state.ratio;
    const double sidechain_scale = k_sidechain_scale * rate / k_reference_rate;
    const double attack = p.attack_speed * tape_state.ratio;
    const double decay = p.decay_speed * tape_state.ratio;
    const int hop_frames = geometry().frames - geometry().overlap;

    // The displays say when they have shown the meters: the sums start over. Nothing reads them
    // while no window is shown; they start over too before the count could wrap.
    TapeMonitor& monitor = tape_state.monitor;
    if (monitor.meters_taken.exchange(false)) clear_meters(monitor);
    const bool count_too_large = monitor.meter_count > INT_MAX / 2;

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
            follow_sidechain(tape_state, ch, s[ch], attack, decay);
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
                add(monitor.band_meter_in[f][ch], std::fabs(v[ch]));
                add(monitor.band_meter_out[f][ch], std::fabs(y));
                add(monitor.sidechain_meter[ch], std::fabs(s[ch]));
                wet[ch] += tape_state.de_emphasis[f] * y;
                dry[ch] += tape_state.de_emphasis[f] * v[ch];
            }
            monitor.meter_count = monitor.meter_count + 1;
        }
        for (int ch = 0; ch < 2; ++ch)
            write_output(tape_control.dolby_difference ? wet[ch] - dry[ch] : wet[ch]);
    }
    if (count_too_large) clear_meters(monitor);
}

}  // namespace varnolt::reference
