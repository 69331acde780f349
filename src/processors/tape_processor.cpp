#include "processors/tape_processor.h"

#include <algorithm>
#include <cmath>

#include "processors/fft.h"
#include "processors/lane_kernels.h"
#include "processors/parallel_loop.h"
#include "processors/stereo_pair.h"
#include "processors/tape_control.h"
#include "processors/working_range.h"
#include "settings/parameters.h"

namespace varnolt {

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
// A spread block's frame passes go in parts of at most a band pair's transform's cost.
constexpr int k_level_step_frames = 256;
constexpr int k_decode_step_frames = 200;
// Microseconds per step or frame for a block at 44.1 kHz with every stage on, on a processor with
// AVX, as bench/block_steps_bench.cpp measures them: the weights that place the steps among the
// calls (without AVX the frame passes weigh about twice as much, and the calls are less even).
constexpr double k_analysis_step_cost = 18.0;
// Each band pair's two parts: the wider the pair's bands, the more its spectrum and first passes
// cost; the later passes cost about the same for every pair.
constexpr double k_band_pair_part_cost[k_band_pairs_per_block][2] = {
    {8.5, 14.4}, {11.3, 14.0}, {16.3, 14.1}, {21.1, 14.1}};
constexpr double k_level_frame_cost = 0.029;
constexpr double k_decode_frame_cost = 0.063;
// A band pair's transform's passes in its first part: the reordering, the first two stages and
// two of the two-stage passes (the transform of 2048 points has seven).
constexpr int k_band_pair_first_part_passes = 4;

// The band level follower of both channels of a band, side by side.
void follow_levels(lr_pair& level, lr_pair v) {
    // An overflowing band value tells nothing about the band's level: the follower keeps what
    // it had, so the automatic adjustment carries on once the gain is put right.
    const lr_pair k = splat(k_follower_keep) * level + splat(k_follower_fall) * v;
    const lr_pair rise = splat(k_follower_rise_keep) * k + splat(k_follower_rise) * v;
    update_pair_within_range(level, max_pair(k, rise), v);
}

}  // namespace

void TapeProcessor::build_tables() {
    const double log_half = std::log(static_cast<double>(k_half_bins));
    tape_state.band_position[0] = 2.0;
    for (int k = 1; k < k_half_bins; ++k)
        tape_state.band_position[k] =
            std::clamp(k_highest_band_coordinate * std::log(static_cast<double>(k)) / log_half,
                       k_lowest_band_coordinate, k_highest_band_coordinate);
    for (int f = 1; f <= k_bands; ++f) {
        tape_state.emphasis[f] = k_emphasis[f];
        tape_state.de_emphasis[f] = 1.0 / k_emphasis[f];
        tape_state.band_first_bin[f] = k_half_bins;
        tape_state.band_last_bin[f] = -1;
    }
    // Band f covers the bins whose band index is f or f + 1, a run of neighbours.
    for (int k = 0; k < k_half_bins; ++k) {
        const int t = static_cast<int>(tape_state.band_position[k]);
        for (int f : {t - 1, t}) {
            if (f < 1 || f > k_bands) continue;
            tape_state.band_first_bin[f] = std::min(tape_state.band_first_bin[f], k);
            tape_state.band_last_bin[f] = std::max(tape_state.band_last_bin[f], k);
        }
    }
    for (int f = 1; f <= k_bands; ++f)
        for (int k = tape_state.band_first_bin[f]; k <= tape_state.band_last_bin[f]; ++k)
            tape_state.band_bin_weight[f][k] = band_weight(f, k);
    // band_spectrum's bins k and N - k of both bands of the pair.
    for (int p = 0; p < k_band_pairs_per_block; ++p) {
        bool may_be_set[k_block_frames] = {};
        for (int f : {2 * p + 1, 2 * p + 2})
            for (int k = tape_state.band_first_bin[f]; k <= tape_state.band_last_bin[f]; ++k)
                may_be_set[k] = may_be_set[(k_block_frames - k) % k_block_frames] = true;
        describe_sparse_input(tape_state.band_pair_input[p], k_log2_block_frames, may_be_set);
    }
}

double band_centre_hz(int f, double sample_rate) {
    // The bin whose coordinate is f + 1, inverting build_tables' logarithm.
    const double bin =
        std::pow(static_cast<double>(k_half_bins), (f + 1) / k_highest_band_coordinate);
    return bin * sample_rate / k_block_frames;
}

// Band f's gain per channel from the pre-amplifiers, the band sliders and the "relative" flags.
stereo_frame TapeProcessor::band_gains(int f) {
    if (!tape_control.bias_active) return {1.0, 1.0};
    const Settings& p = live.values;
    double left = p.pre_amplifier_left * p.bands[f].left;
    double right = p.pre_amplifier_right * p.bands[f].right;
    if (tape_control.right_relative_to_left) right *= left;
    if (tape_control.left_relative_to_right) left *= right;
    return {left, right};
}

// Band f's triangle over the band coordinate at bin k. The band's spectrum is twice this times
// the block's on the lower half and nothing above, so that the real part of its inverse is the
// band signal; in the packed form both channels' signals come out of the weight itself applied
// to bins k and N - k of the packed spectrum.
double TapeProcessor::band_weight(int f, int k) const {
    const double position = tape_state.band_position[k];
    const int t = static_cast<int>(position);
    if (t == f + 1) return t + 1 - position;
    if (t == f) return position - t;
    return 0.0;
}

// The packed spectrum of band f in one half of `pair` (0 left, 1 right); bin N/2 is left out.
void TapeProcessor::band_spectrum(int f, int half, const complex_value* z, complex_lr* pair) {
    // The pairs as plain doubles, as the transform sees them: the half's (re, im) of entry k
    // are doubles 4k + 2 half and the one after.
    double* entries = reinterpret_cast<double*>(pair) + 2 * half;
    const double* weight = tape_state.band_bin_weight[f];
    for (int k = tape_state.band_first_bin[f]; k <= tape_state.band_last_bin[f]; ++k) {
        const double w = weight[k];
        double* low = entries + 4 * k;
        low[0] = w * z[k].re;
        low[1] = w * z[k].im;
        if (k == 0) continue;
        double* high = entries + 4 * (k_block_frames - k);
        high[0] = w * z[k_block_frames - k].re;
        high[1] = w * z[k_block_frames - k].im;
    }
}

// The weaker channel of a band is raised toward the stronger, never lowered.
void TapeProcessor::update_auto_factor(int f, int channel, bool auto_on) {
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

// The factors as the band graphs show them.
void TapeProcessor::publish_factors() {
    for (int f = 1; f <= k_bands; ++f)
        for (int ch = 0; ch < 2; ++ch) {
            tape_state.monitor.auto_factor[f][ch] = tape_state.auto_factor[f][ch];
            tape_state.monitor.applied_factor[f][ch] = tape_state.applied_factor[f][ch];
        }
}

void TapeProcessor::update_applied_factors() {
    if (!tape_control.bias_active) {
        for (int f = 1; f <= k_bands; ++f)
            for (int ch = 0; ch < 2; ++ch)
                tape_state.auto_factor[f][ch] = tape_state.applied_factor[f][ch] = 1.0;
        publish_factors();
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
    publish_factors();
}

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

TapeProcessor::TapeProcessor(TapeState& tape_state, TapeControl& tape_control, LiveParameters& live)
    : Processor(k_quality_normal), tape_state(tape_state), tape_control(tape_control), live(live) {
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
    tape_control.table_remover_off = 0;
    tape_control.bias_active = 0;
    tape_control.right_relative_to_left = 0;
    tape_control.left_relative_to_right = 0;
    tape_control.auto_left = 0;
    tape_control.auto_right = 0;
    tape_control.auto_clustered = 1;
    tape_control.auto_bias_only = 1;
}

void TapeProcessor::transform_band_pairs(const complex_value* spectrum, int first, int last) {
    // The pairs of bands are independent: each has its own transform and tails.
    for_each_index(last - first, 1, [this, spectrum, first](int i) {
        const int p = first + i;
        complex_lr* pair = scratch.band_pair[p];
        std::fill(pair, pair + k_block_frames, complex_lr{0.0, 0.0, 0.0, 0.0});
        for (int half = 0; half < 2; ++half) band_spectrum(2 * p + 1 + half, half, spectrum, pair);
        fft(pair, tape_state.band_pair_input[p], true);
        for (int half = 0; half < 2; ++half) {
            // Left and right of band f are the real and imaginary part of its half.
            const int f = 2 * p + 1 + half;
            overlap_add(&pair[0].left_re + 2 * half, 4, 1, tape_state.band_tail[f],
                        scratch.band_signal[f]);
        }
    });
}

void TapeProcessor::transform_band_pair_part(const complex_value* spectrum, int p, int part) {
    complex_lr* pair = scratch.band_pair[p];
    const FftSparseInput& input = tape_state.band_pair_input[p];
    const int passes = fft_pass_count(input.log2n);
    // The later passes carry more of the butterflies of a band's sparse input: the first part
    // takes the spectrum's assembly with the passes before them.
    const int split = std::min(k_band_pair_first_part_passes, passes);
    if (part == 0) {
        std::fill(pair, pair + k_block_frames, complex_lr{0.0, 0.0, 0.0, 0.0});
        for (int half = 0; half < 2; ++half) band_spectrum(2 * p + 1 + half, half, spectrum, pair);
        fft_passes(pair, input, true, 0, split);
        return;
    }
    fft_passes(pair, input, true, split, passes);
    for (int half = 0; half < 2; ++half) {
        const int f = 2 * p + 1 + half;
        overlap_add(&pair[0].left_re + 2 * half, 4, 1, tape_state.band_tail[f],
                    scratch.band_signal[f]);
    }
}

void TapeProcessor::follow_band_levels(BandFrame* record, int first, int last) {
    // The bands' gains and levels, frame by frame: sixteen followers side by side instead of
    // one waiting for its last step. The gains are read at the block's first frame.
    if (first == 0)
        for (int f = 1; f <= k_bands; ++f) work_.band_gain[f] = band_gains(f);
    lr_pair gain[k_bands + 1];
    for (int f = 1; f <= k_bands; ++f) {
        const stereo_frame g = work_.band_gain[f];
        gain[f] = splat(tape_state.emphasis[f]) * pair_of(g.left, g.right);
    }
#if defined(VARNOLT_HAVE_AVX_KERNELS)
    // Where the processor has AVX, two bands to a register (tape_levels_avx.cpp).
    if (lane_kernel() == LaneKernel::avx) {
        double gains[k_bands + 1][2] = {};
        for (int f = 1; f <= k_bands; ++f) store_pair(gains[f], gain[f]);
        follow_band_levels_avx(scratch, gains, tape_state.band_level, record, first, last);
    } else
#endif
    {
        lr_pair level[k_bands + 1];
        for (int f = 1; f <= k_bands; ++f) level[f] = load_pair(tape_state.band_level[f]);
        for (int n = first; n < last; ++n) {
            for (int f = 1; f <= k_bands; ++f) {
                const lr_pair v = gain[f] * load_pair(scratch.band_signal[f][n]);
                // Out-of-range gains saturate the band rather than fill it with inf and NaN.
                store_pair(record[n].band[f], saturate_pair(v));
                follow_levels(level[f], v);
            }
        }
        for (int f = 1; f <= k_bands; ++f) store_pair(tape_state.band_level[f], level[f]);
    }
    if (last < hop_frames()) return;
    if (tape_control.bias_active) {
        const bool auto_on[2] = {tape_control.auto_left != 0, tape_control.auto_right != 0};
        for (int f = 1; f <= k_bands; ++f) {
            update_auto_factor(f, 0, auto_on[0]);
            update_auto_factor(f, 1, auto_on[1]);
        }
    }
    update_applied_factors();
}

void TapeProcessor::transform_analysis_block() {
    const double rate =
        std::isfinite(sample_rate()) && sample_rate() > 0.0 ? sample_rate() : k_reference_rate;
    tape_state.rate_shift = rate_shift_for(rate);
    tape_state.ratio = k_reference_rate / rate;

    assemble_packed_block(tape_state.kept, scratch.packed);
    fft(scratch.packed, geometry().log2_frames, false);
}

void TapeProcessor::plan_steps() {
    const int frames = hop_frames();
    if (plan_count_ > 0 && plan_hop_frames_ == frames && plan_spread_ == spreads()) return;
    int n = 0;
    plan_[n++] = {TapeStepKind::analysis, 0, 0};
    if (!spreads()) {
        plan_[n++] = {TapeStepKind::band_pairs, 0, k_band_pairs_per_block};
        plan_[n++] = {TapeStepKind::levels, 0, frames};
        plan_[n++] = {TapeStepKind::decode, 0, frames};
    } else {
        for (int p = 0; p < k_band_pairs_per_block; ++p)
            for (int part = 0; part < 2; ++part)
                plan_[n++] = {TapeStepKind::band_pair_part, p, part};
        // Parts of about a band pair's transform each.
        const auto cut = [&n, frames, this](TapeStepKind kind, int part_frames) {
            const int parts = (frames + part_frames - 1) / part_frames;
            for (int i = 0; i < parts; ++i)
                plan_[n++] = {kind, frames * i / parts, frames * (i + 1) / parts};
        };
        cut(TapeStepKind::levels, k_level_step_frames);
        cut(TapeStepKind::decode, k_decode_step_frames);
    }
    plan_count_ = n;
    plan_hop_frames_ = frames;
    plan_spread_ = spreads();
}

int TapeProcessor::block_step_count() {
    plan_steps();
    return plan_count_;
}

double TapeProcessor::block_step_weight(int step) const {
    const TapeStep& s = plan_[step];
    switch (s.kind) {
        case TapeStepKind::analysis:
            return k_analysis_step_cost;
        case TapeStepKind::band_pairs: {
            double cost = 0.0;
            for (int p = s.first; p < s.last; ++p)
                cost += k_band_pair_part_cost[p][0] + k_band_pair_part_cost[p][1];
            return cost;
        }
        case TapeStepKind::band_pair_part:
            return k_band_pair_part_cost[s.first][s.last];
        case TapeStepKind::levels:
            return k_level_frame_cost * (s.last - s.first);
        case TapeStepKind::decode:
            return k_decode_frame_cost * (s.last - s.first);
    }
    return 1.0;
}

void TapeProcessor::run_block_step(int step) {
    const TapeStep& s = plan_[step];
    switch (s.kind) {
        case TapeStepKind::analysis:
            transform_analysis_block();
            break;
        case TapeStepKind::band_pairs:
            transform_band_pairs(scratch.packed, s.first, s.last);
            break;
        case TapeStepKind::band_pair_part:
            transform_band_pair_part(scratch.packed, s.first, s.last);
            break;
        case TapeStepKind::levels:
            follow_band_levels(scratch.record, s.first, s.last);
            break;
        case TapeStepKind::decode:
            decode_and_sum(scratch.record, s.first, s.last);
            break;
    }
}

void TapeProcessor::process_block() {
    plan_steps();
    for (int step = 0; step < plan_count_; ++step) run_block_step(step);
}

}  // namespace varnolt
