// FM stereo hiss removal. An FM stereo broadcast recorded to tape carries hiss that differs
// between the channels, while the programme is mostly correlated; per bin the part in which left
// and right disagree (the stereo excess) is removed, up to a threshold that follows the noise
// floor of the recording over the last seconds.

#include <algorithm>
#include <cmath>
#include <complex>

#include "processors/hiss_removal.h"
#include "processors/kth_smallest.h"
#include "processors/parallel_loop.h"
#include "processors/stereo.h"
#include "processors/working_range.h"
#include "settings/parameters.h"

namespace varnolt {
namespace {

using cd = std::complex<double>;

constexpr double k_quiet_bin = 1e-12;   // bins below this average magnitude stay as they are
constexpr double k_floor_margin = 1.5;  // the history floor sits 50 % above its quantile
constexpr double k_smoothing_per_second = 0.025;  // smoothing coefficient times the delay time
constexpr int k_parallel_measure_bins = 96;       // shorter loops are not worth a team
constexpr int k_parallel_history_blocks = 322;

cd left_of(const complex_lr& x) {
    return {x.left_re, x.left_im};
}
cd right_of(const complex_lr& x) {
    return {x.right_re, x.right_im};
}

int clamp_index(double position, int count) {
    if (std::isnan(position)) return 0;
    const double limited = std::min(std::max(position, 0.0), static_cast<double>(count - 1));
    return static_cast<int>(limited);
}

// Magnitudes as plain roots: the bins are saturated far below where a square could overflow,
// and hypot's care for that costs several times as much.
double magnitude(double re, double im) {
    return std::sqrt(re * re + im * im);
}
double magnitude(const cd& z) {
    return magnitude(z.real(), z.imag());
}

void measure_bin(HissScratch& scratch, const complex_lr* spectrum, int i) {
    const complex_lr& x = spectrum[i];
    const double left = magnitude(x.left_re, x.left_im);
    const double right = magnitude(x.right_re, x.right_im);
    const double a = (left + right) * 0.5;
    const double m = magnitude((x.left_re + x.right_re) * 0.5, (x.left_im + x.right_im) * 0.5);
    scratch.magnitude_left[i] = left;
    scratch.magnitude_right[i] = right;
    scratch.average[i] = a;
    scratch.excess[i] = a - m;
}

void measure(HissScratch& scratch, const complex_lr* spectrum, int first, int last) {
    for_each_index(last - first, k_parallel_measure_bins, [&scratch, spectrum, first](int i) {
        measure_bin(scratch, spectrum, first + i);
    });
}

double squared_excess(const double* history, int nb, double smoothed) {
    return sum_over(nb, k_parallel_history_blocks, [history, smoothed](int k) {
        const double above = std::max(history[k] - smoothed, 0.0);
        return above * above;
    });
}

// Steps from the block's noise level T to the threshold Tf that the bins are cut at.
double threshold_from_history(StereoState& stereo_state, double t, int nb, double delay,
                              double rough) {
    HissScratch& scratch = stereo_state.hiss_scratch;
    StereoMonitor& monitor = stereo_state.monitor;
    double* history = stereo_state.level_history;
    std::copy_backward(history, history + nb, history + nb + 1);
    history[0] = t;
    std::copy(history, history + nb, scratch.history_selection);
    const double floor =
        kth_smallest(scratch.history_selection, nb, clamp_index(nb * 0.00999 * rough, nb)) *
        k_floor_margin;
    const double held = std::min(t, floor);
    monitor.history_floor = floor;
    monitor.held_level = held;

    if (!stereo_state.smoothed_initialised) {
        stereo_state.smoothed_level = held;
        stereo_state.smoothed_initialised = true;
    }
    const double a = delay > 0.0 ? std::min(k_smoothing_per_second / delay, 1.0) : 1.0;
    update_within_range(stereo_state.smoothed_level,
                        stereo_state.smoothed_level * (1.0 - a) + held * a);

    double sum = 0.0;
    for (int k = 0; k < nb; ++k) sum += history[k];
    const double smoothed = stereo_state.smoothed_level;
    const double squares = squared_excess(history, nb, smoothed);
    const double limit = 0.01 * rough;
    // A history of nothing but zeros has no roughness to speak of: keep the held level. Nor has
    // one of levels so small (subnormal) that their mean is 0 and the measure 0 / 0.
    const double mean = sum > 0.0 ? sum / nb : 0.0;
    const double roughness = sum > 0.0 ? squares / mean / sum / 3.0 : 0.0;
    if (!(sum > 0.0) || std::isnan(roughness)) {
        monitor.roughness_ratio = 0.0;
        monitor.threshold = held;
        return held;
    }
    // A limit of a few subnormals makes the ratio overflow; the display needs no more.
    monitor.roughness_ratio = limit > 0.0 ? saturate_working(roughness / limit) : 1.0;
    double tf;
    if (roughness <= limit) {
        tf = held;
    } else if (roughness >= 2.0 * limit) {
        tf = 0.0;
    } else {
        tf = held * (2.0 * limit - roughness) / limit;
    }
    monitor.threshold = tf;
    return tf;
}

}  // namespace

void balance_removal(cd& nl, cd& nr, double lambda) {
    const double ml = magnitude(nl), mr = magnitude(nr);
    if (ml > lambda * mr) {
        nl *= lambda * mr / ml;
    } else if (mr > lambda * ml) {
        nr *= lambda * ml / mr;
    }
}

void measure_hiss_bins(StereoState& stereo_state, const complex_lr* spectrum, int first, int last) {
    measure(stereo_state.hiss_scratch, spectrum, first, last);
}

HissBlock start_hiss_removal(StereoState& stereo_state, const LiveParameters& live, int half,
                             double sample_rate) {
    const Settings& p = live.values;
    StereoMonitor& monitor = stereo_state.monitor;
    HissScratch& scratch = stereo_state.hiss_scratch;
    for (int i = 0; i < half; ++i) monitor.excess[i] = scratch.excess[i];

    // The excess stays in bin order for the bins below; the selection reorders a copy.
    std::copy(scratch.excess, scratch.excess + half, scratch.excess_selection);
    const double t =
        kth_smallest(scratch.excess_selection, half,
                     clamp_index(half * (0.99999 - 0.00999 * p.ignore_lowest_percentage), half)) *
        p.multiply_by;
    // A level that overflowed ("Multiply by" 1e308) stands above every bin: it is cut at the
    // ceiling, and kept out of the history and the smoothed level, which would otherwise hold
    // it (or the NaN of inf - inf) long after the value is put right.
    const bool level_in_range = within_working_range(t);
    monitor.noise_level = saturate_working(t);

    const double delay = p.delay_time;
    const double blocks = delay * sample_rate / (k_block_frames - k_block_frames / 2);
    const int nb =
        blocks >= 1.0
            ? static_cast<int>(std::min(blocks, static_cast<double>(k_max_history_blocks)))
            : 0;
    HissBlock block;
    block.threshold = monitor.noise_level;
    if (nb <= 0 || !level_in_range) {
        monitor.history_floor = block.threshold;
        monitor.held_level = block.threshold;
        monitor.threshold = block.threshold;
        monitor.roughness_ratio = 0.0;
    } else {
        block.threshold = threshold_from_history(stereo_state, t, nb, delay, p.signal_roughness);
    }
    block.reduce = 0.01 * p.reduce_percentage;
    block.difference = p.fm_difference != 0;
    return block;
}

void remove_hiss_part(StereoState& stereo_state, HissBlock& block, complex_lr* spectrum, int first,
                      int last) {
    const HissScratch& scratch = stereo_state.hiss_scratch;
    const double tf = block.threshold;
    const double u = block.reduce;
    const double lambda = std::max(u, 1.0);
    for (int i = first; i < last; ++i) {
        const double a = scratch.average[i];
        if (a < k_quiet_bin) continue;
        const double r = std::min(std::min(tf, scratch.excess[i]) * u, a);
        const cd l = left_of(spectrum[i]), rr = right_of(spectrum[i]);
        // A "Reduce" far below 0 makes the share removed overflow; saturated, the bin is
        // amplified to the output's limits instead of turning into NaN.
        const double q = saturate_working(r / a);
        cd nl = q * l, nr = q * rr;
        balance_removal(nl, nr, lambda);
        // What is removed from the two channels stays anti-correlated, so the mid signal
        // (what both channels share) is left alone.
        const double ml = magnitude(nl), mr = magnitude(nr);
        if (ml > 0.0 && mr > 0.0) {
            const double ratio = ml / mr;
            const cd common = (nl + ratio * nr) / (1.0 + ratio);
            nl -= common;
            nr -= common;
        }
        block.sum_removed += magnitude(nl) + magnitude(nr);
        // |L| + |R| and |L + R| as the measurement found them: twice A and twice A - B.
        const double both = scratch.magnitude_left[i] + scratch.magnitude_right[i];
        block.sum_magnitude += both;
        block.sum_excess += both - 2.0 * (a - scratch.excess[i]);
        const cd out_l = block.difference ? nl : l - nl;
        const cd out_r = block.difference ? nr : rr - nr;
        spectrum[i] = {out_l.real(), out_l.imag(), out_r.real(), out_r.imag()};
    }
}

void finish_hiss_removal(StereoState& stereo_state, const HissBlock& block) {
    StereoMonitor& monitor = stereo_state.monitor;
    monitor.sum_magnitude = block.sum_magnitude;
    monitor.sum_removed = block.sum_removed;
    monitor.sum_excess = block.sum_excess;
}

void remove_stereo_hiss(StereoState& stereo_state, const LiveParameters& live, complex_lr* spectrum,
                        int half, double sample_rate) {
    measure_hiss_bins(stereo_state, spectrum, 0, half);
    HissBlock block = start_hiss_removal(stereo_state, live, half, sample_rate);
    remove_hiss_part(stereo_state, block, spectrum, 0, half);
    finish_hiss_removal(stereo_state, block);
}

}  // namespace varnolt
