// The Dolby B stage of the tape processor and the band sum: per output frame, a sidechain level
// measured from the weighted high bands selects a row of the gain table, each band is lowered
// by the row's gain at its frequency column, and the de-emphasised bands are summed into the
// output ring.

#include <algorithm>
#include <climits>
#include <cmath>

#include "processors/dolby_stage.h"
#include "processors/dolby_table.h"
#include "processors/lane_kernels.h"
#include "processors/stereo_pair.h"
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

// The rows around a sidechain level, below 40 row 0 alone, from 1750 on row 10 alone; the
// search starts where the previous frame's ended: the level moves by a fraction of a row from
// frame to frame. `row` carries the lower row from call to call.
RowBlend row_blend_near(double level, int& row) {
    if (!(level >= dolby_table[0].threshold)) {  // also a NaN, which lies between no rows
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

void follow_sidechain(TapeState& tape_state, int ch, double s, double attack, double decay) {
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

// What the stage reads once a block, at its first frame: every part of a spread block decodes
// with the same strength, coefficients and switches.
void TapeProcessor::start_decoding() {
    const Settings& p = live.values;
    work_.strength = tape_control.dolby_active ? p.dolby_strength.load() : 0.0;
    work_.sidechain = sidechain_terms();
    work_.meters = meters_to_add_to();
    work_.row[0] = work_.row[1] = 0;
    work_.remover_off = tape_control.table_remover_off != 0;
    work_.difference = tape_control.dolby_difference != 0;
}

// The band samples go through the stage in one pass; the sums into the output ring after.
void TapeProcessor::decode_and_sum(BandFrame* record, int first, int last) {
    if (first == 0) start_decoding();
    if (work_.remover_off) {
        apply_band_factors(record, first, last);
        sum_bands_unchanged(record, first, last, work_.meters);
    } else {
        decode_bands(record, first, last);
    }
    write_band_sums(first, last);
    if (last >= hop_frames()) publish_meters(work_.meters, hop_frames());
}

SidechainTerms TapeProcessor::sidechain_terms() const {
    const Settings& p = live.values;
    const double rate = k_reference_rate / tape_state.ratio;
    SidechainTerms terms;
    terms.scale = k_sidechain_scale * rate / k_reference_rate;
    terms.attack = p.attack_speed * tape_state.ratio;
    terms.decay = p.decay_speed * tape_state.ratio;
    return terms;
}

// The meters add up during the block and go back to the monitor after it, in the same order;
// once the displays have taken them they start over.
DolbyMeters TapeProcessor::meters_to_add_to() {
    TapeMonitor& monitor = tape_state.monitor;
    const bool start_over = monitor.meters_taken.exchange(false);
    DolbyMeters meters;
    for (int f = 1; f <= k_bands; ++f)
        for (int ch = 0; ch < 2; ++ch) {
            meters.band_in[f][ch] = start_over ? 0.0 : monitor.band_meter_in[f][ch].load();
            meters.band_out[f][ch] = start_over ? 0.0 : monitor.band_meter_out[f][ch].load();
        }
    for (int ch = 0; ch < 2; ++ch)
        meters.sidechain[ch] = start_over ? 0.0 : monitor.sidechain_meter[ch].load();
    meters.count = start_over ? 0 : monitor.meter_count.load();
    return meters;
}

// Without the table remover the factors are all the bands get.
void TapeProcessor::apply_band_factors(BandFrame* record, int first, int last) {
    lr_pair factor[k_bands + 1];
    for (int f = 1; f <= k_bands; ++f) factor[f] = load_pair(tape_state.applied_factor[f]);
    for (int n = first; n < last; ++n) {
        BandFrame& frame = record[n];
        for (int f = 1; f <= k_bands; ++f)
            store_pair(frame.band[f], saturate_pair(load_pair(frame.band[f]) * factor[f]));
    }
}

// Without the table remover: wet and dry are the same de-emphasised sum.
void TapeProcessor::sum_bands_unchanged(const BandFrame* record, int first, int last,
                                        DolbyMeters& meters) {
    const double* de_emphasis = tape_state.de_emphasis;
    lr_pair meters_in[k_bands + 1], meters_out[k_bands + 1];
    for (int f = 1; f <= k_bands; ++f) {
        meters_in[f] = load_pair(meters.band_in[f]);
        meters_out[f] = load_pair(meters.band_out[f]);
    }
    DolbyScratch& d = scratch.dolby;
    for (int n = first; n < last; ++n) {
        const BandFrame& frame = record[n];
        lr_pair sum = splat(0.0);
        for (int f = 1; f <= k_bands; ++f) {
            const lr_pair v = load_pair(frame.band[f]);
            meters_in[f] += abs_pair(v);
            meters_out[f] += abs_pair(v);
            sum += splat(de_emphasis[f]) * v;
        }
        store_pair(d.wet[n], sum);
        store_pair(d.dry[n], sum);
    }
    for (int f = 1; f <= k_bands; ++f) {
        store_pair(meters.band_in[f], meters_in[f]);
        store_pair(meters.band_out[f], meters_out[f]);
    }
}

// Frame by frame: the factors applied, the sidechain and the table rows its level selects, each
// band lowered by the gain the rows give at the band's column, and the de-emphasised bands
// summed with the gains (wet) and without (dry). One pass over the block's band samples; every
// value takes the operations it took in separate passes, in the same order.
//
// The sidechain's weighted sum: band 8 weighs 1/2, band 1 1/256 (the sidechain listens to the
// treble). Both channels go side by side.
void TapeProcessor::decode_bands(const BandFrame* record, int first, int last) {
    const SidechainTerms& sidechain = work_.sidechain;
    const double strength = work_.strength;
    DolbyMeters& meters = work_.meters;
    double weight[k_bands + 1];
    lr_pair factor[k_bands + 1];
    for (int f = 1; f <= k_bands; ++f) {
        weight[f] = std::ldexp(1.0, f - 9);
        factor[f] = load_pair(tape_state.applied_factor[f]);
    }
    // Each row's gain at each band's column (lower row) and one column further up (upper row).
    double column_gain[k_dolby_rows][k_bands + 1], next_column_gain[k_dolby_rows][k_bands + 1];
    for (int f = 1; f <= k_bands; ++f) {
        const int column = dolby_column(f, tape_state.rate_shift);
        for (int r = 0; r < k_dolby_rows; ++r) {
            column_gain[r][f] = dolby_table[r].gain[column];
            next_column_gain[r][f] = dolby_table[r].gain[column + 1];
        }
    }
    const double* de_emphasis = tape_state.de_emphasis;
    lr_pair meters_in[k_bands + 1], meters_out[k_bands + 1];
    for (int f = 1; f <= k_bands; ++f) {
        meters_in[f] = load_pair(meters.band_in[f]);
        meters_out[f] = load_pair(meters.band_out[f]);
    }
    lr_pair sidechain_sum = load_pair(meters.sidechain);
    int* row = work_.row;
    DolbyScratch& d = scratch.dolby;
#if defined(VARNOLT_HAVE_AVX_KERNELS)
    // Where the processor has AVX, two bands to a register (dolby_decoder_avx.cpp), in chunks of
    // frames: the band values and sidechain sums of a chunk, then its sidechain frame by frame
    // here, then its gains and sums.
    if (lane_kernel() == LaneKernel::avx) {
        DolbyLaneTerms terms;
        for (int f = 1; f <= k_bands; ++f) {
            store_pair(terms.factor[f], factor[f]);
            terms.weight[f] = weight[f];
            terms.de_emphasis[f] = de_emphasis[f];
        }
        terms.scale = sidechain.scale;
        terms.strength = strength;
        DolbyChunk chunk;
        for (int start = first; start < last; start += k_dolby_chunk_frames) {
            const int count = std::min(k_dolby_chunk_frames, last - start);
            dolby_band_values_avx(record + start, count, terms, chunk);
            for (int i = 0; i < count; ++i) {
                const lr_pair s = load_pair(chunk.sidechain[i]);
                for (int ch = 0; ch < 2; ++ch) {
                    follow_sidechain(tape_state, ch, s[ch], sidechain.attack, sidechain.decay);
                    const RowBlend blend = row_blend_near(tape_state.sidechain_level[ch], row[ch]);
                    chunk.t[i][ch] = blend.t;
                    chunk.lower[i][ch] = column_gain[blend.lower];
                    chunk.upper[i][ch] = next_column_gain[blend.upper];
                }
                sidechain_sum += abs_pair(s) * splat(k_bands);
            }
            dolby_band_sums_avx(terms, chunk, count, meters.band_in, meters.band_out, d.wet + start,
                                d.dry + start);
        }
        store_pair(meters.sidechain, sidechain_sum);
        return;
    }
#endif
    const bool scaled = strength > 0.0;
    const lr_pair one = splat(1.0), disabled = splat(k_disabled_inverse_strength);
    const lr_pair strengths = splat(strength);
    for (int n = first; n < last; ++n) {
        const BandFrame& frame = record[n];
        lr_pair v[k_bands + 1];
        lr_pair s = splat(0.0);
        for (int f = 1; f <= k_bands; ++f) {
            v[f] = saturate_pair(load_pair(frame.band[f]) * factor[f]);
            s += v[f] * splat(weight[f]);
        }
        s *= splat(sidechain.scale);
        RowBlend blend[2];
        for (int ch = 0; ch < 2; ++ch) {
            follow_sidechain(tape_state, ch, s[ch], sidechain.attack, sidechain.decay);
            blend[ch] = row_blend_near(tape_state.sidechain_level[ch], row[ch]);
        }
        // The meter counts the sidechain once per band sample: eight times a frame, added as
        // one product (the meter is only shown; the difference is in the last bits).
        sidechain_sum += abs_pair(s) * splat(k_bands);

        const lr_pair t = pair_of(blend[0].t, blend[1].t);
        const lr_pair keep = one - t;
        const double* lower[2] = {column_gain[blend[0].lower], column_gain[blend[1].lower]};
        const double* upper[2] = {next_column_gain[blend[0].upper],
                                  next_column_gain[blend[1].upper]};
        // Each band's gain, 1 for band 1: the blended table gain with its distance from 1
        // scaled by the "Dolby strength". Without a strength (the inactive stage) the gains stay
        // within 1e-12 of 1; scaling by the strength needs no division: the inverse of a
        // subnormal strength is inf, and (gt - 1 + inf) / inf is NaN.
        lr_pair gain[k_bands + 1];
        gain[1] = one;
        for (int f = 2; f <= k_bands; ++f)
            gain[f] =
                keep * pair_of(lower[0][f], lower[1][f]) + t * pair_of(upper[0][f], upper[1][f]);
        if (scaled) {
            for (int f = 2; f <= k_bands; ++f) gain[f] = one + (gain[f] - one) * strengths;
        } else {
            for (int f = 2; f <= k_bands; ++f) gain[f] = (gain[f] - one + disabled) / disabled;
        }
        lr_pair wet = splat(0.0), dry = splat(0.0);
        for (int f = 1; f <= k_bands; ++f) {
            const lr_pair y = saturate_pair(gain[f] * v[f]);
            meters_in[f] += abs_pair(v[f]);
            meters_out[f] += abs_pair(y);
            wet += splat(de_emphasis[f]) * y;
            dry += splat(de_emphasis[f]) * v[f];
        }
        store_pair(d.wet[n], wet);
        store_pair(d.dry[n], dry);
    }
    store_pair(meters.sidechain, sidechain_sum);
    for (int f = 1; f <= k_bands; ++f) {
        store_pair(meters.band_in[f], meters_in[f]);
        store_pair(meters.band_out[f], meters_out[f]);
    }
}

// The wet sum, or with "Difference" what the gains took out of it, into the output ring.
void TapeProcessor::write_band_sums(int first, int last) {
    const DolbyScratch& d = scratch.dolby;
    for (int n = first; n < last; ++n) {
        if (work_.difference) {
            write_output(d.wet[n][0] - d.dry[n][0]);
            write_output(d.wet[n][1] - d.dry[n][1]);
        } else {
            write_output(d.wet[n][0]);
            write_output(d.wet[n][1]);
        }
    }
}

// Each frame adds one band sample per band to the meters. Nothing reads them while no window is
// shown; they start over before the count could wrap, which keeps their averages meaningful.
void TapeProcessor::publish_meters(const DolbyMeters& meters, int hop_frames) {
    TapeMonitor& monitor = tape_state.monitor;
    const bool wrap = meters.count > INT_MAX / 2;
    for (int f = 1; f <= k_bands; ++f)
        for (int ch = 0; ch < 2; ++ch) {
            monitor.band_meter_in[f][ch] = wrap ? 0.0 : meters.band_in[f][ch];
            monitor.band_meter_out[f][ch] = wrap ? 0.0 : meters.band_out[f][ch];
        }
    for (int ch = 0; ch < 2; ++ch) monitor.sidechain_meter[ch] = wrap ? 0.0 : meters.sidechain[ch];
    monitor.meter_count = wrap ? 0 : meters.count + k_bands * hop_frames;
}

}  // namespace varnolt
