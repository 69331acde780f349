// Azimuth correction. A tape head whose gap is not square to the tape makes one channel lag the
// other, which shows as a phase difference between the channels growing with frequency. The
// slope of that difference is estimated from the bins where both channels are strong, followed
// slowly from block to block, and taken out by rotating the left channel.

#include <algorithm>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "processors/azimuth_search.h"
#include "processors/azimuth_units.h"
#include "processors/lane_kernels.h"
#include "processors/parallel_loop.h"
#include "processors/stereo.h"
#include "settings/parameters.h"

namespace varnolt {
namespace {

constexpr double k_pi = 3.14159265358979323846;
constexpr double k_half_pi = k_pi / 2;
constexpr double k_search_top_hz = 16000.0;  // bins above carry little but hiss on a cassette
constexpr double k_tiny_real = 1e-12;
constexpr double k_tiny_cost = 1e-5;
constexpr double k_no_ratio = 100.0;
constexpr double k_accept_ratio = 0.75;  // a minimum at least this deep is believed
// Valleys whose floors differ by less than this are equally deep: the signal cannot tell them
// apart. A pure tone's valleys all reach 0; a broadband signal's false ones stay near 1.
constexpr double k_equal_floor = 0.05;
constexpr double k_speed_decay = 0.001953125;
constexpr int k_parallel_analysis_bins = 36;

// Phase modulo pi, in -pi/2 .. pi/2: the sign of a bin is meaningless for the slope.
double phase(double re, double im) {
    return std::fabs(re) >= k_tiny_real ? std::atan(im / re) : k_half_pi;
}

void analyse_bin(AzimuthScratch& scratch, const complex_lr* spectrum, int i) {
    const complex_lr& x = spectrum[i];
    // Magnitudes as plain roots: the samples are saturated, so the squares cannot overflow, and
    // hypot's care for that costs four times as much.
    scratch.weight[i] = std::sqrt(std::min(x.left_re * x.left_re + x.left_im * x.left_im,
                                           x.right_re * x.right_re + x.right_im * x.right_im));
    if (std::fabs(x.left_re) >= k_tiny_real && std::fabs(x.right_re) >= k_tiny_real) {
        // The difference of the two phases modulo pi is the phase of R times conj(L) modulo
        // pi: one arc tangent instead of two.
        const double cross = x.left_re * x.right_im - x.left_im * x.right_re;
        const double dot = x.left_re * x.right_re + x.left_im * x.right_im;
        scratch.difference[i] = std::atan(cross / dot);
        return;
    }
    double delta = phase(x.right_re, x.right_im) - phase(x.left_re, x.left_im);
    if (delta > k_half_pi) delta -= k_pi;
    if (delta < -k_half_pi) delta += k_pi;
    scratch.difference[i] = delta;
}

void analyse(AzimuthScratch& scratch, const complex_lr* spectrum, int first, int last) {
    for_each_index(last - first, k_parallel_analysis_bins, [&scratch, spectrum, first](int i) {
        analyse_bin(scratch, spectrum, first + i);
    });
}

double cost_term(const AzimuthScratch& scratch, int i, double slope) {
    double x = i * slope + scratch.difference[i];
    while (x < -k_half_pi) x += k_pi;
    while (x > k_half_pi) x -= k_pi;
    return scratch.weight[i] * std::fabs(x);
}

// A sum over at most the 1024 bins of a block: too short to be worth a team.
double cost_of(const AzimuthScratch& scratch, double slope, int nmax) {
    double cost = 0.0;
    for (int i = 0; i < nmax; ++i) cost += cost_term(scratch, i, slope);
    return cost;
}

#if defined(__SSE2__)
// Four candidates' cost terms of bin i, two in each register: the scalar cost_term's operations
// lane by lane, in its order, so that each lane rounds exactly as it does. A lane that needs no
// step adds or subtracts zero, which changes at most the sign of a zero that fabs then drops.
struct FourCosts {
    __m128d slopes_01, slopes_23;
    __m128d costs_01 = _mm_setzero_pd(), costs_23 = _mm_setzero_pd();

    void add_bin(const AzimuthScratch& scratch, int i) {
        const __m128d pi = _mm_set1_pd(k_pi), low = _mm_set1_pd(-k_half_pi),
                      high = _mm_set1_pd(k_half_pi);
        const __m128d bin = _mm_set1_pd(static_cast<double>(i));
        const __m128d difference = _mm_set1_pd(scratch.difference[i]);
        __m128d x01 = _mm_add_pd(_mm_mul_pd(bin, slopes_01), difference);
        __m128d x23 = _mm_add_pd(_mm_mul_pd(bin, slopes_23), difference);
        for (;;) {
            const __m128d below_01 = _mm_cmplt_pd(x01, low), below_23 = _mm_cmplt_pd(x23, low);
            if ((_mm_movemask_pd(below_01) | _mm_movemask_pd(below_23)) == 0) break;
            x01 = _mm_add_pd(x01, _mm_and_pd(below_01, pi));
            x23 = _mm_add_pd(x23, _mm_and_pd(below_23, pi));
        }
        for (;;) {
            const __m128d above_01 = _mm_cmpgt_pd(x01, high), above_23 = _mm_cmpgt_pd(x23, high);
            if ((_mm_movemask_pd(above_01) | _mm_movemask_pd(above_23)) == 0) break;
            x01 = _mm_sub_pd(x01, _mm_and_pd(above_01, pi));
            x23 = _mm_sub_pd(x23, _mm_and_pd(above_23, pi));
        }
        const __m128d sign = _mm_set1_pd(-0.0);
        const __m128d weight = _mm_set1_pd(scratch.weight[i]);
        costs_01 = _mm_add_pd(costs_01, _mm_mul_pd(weight, _mm_andnot_pd(sign, x01)));
        costs_23 = _mm_add_pd(costs_23, _mm_mul_pd(weight, _mm_andnot_pd(sign, x23)));
    }
};
#endif

double search_step(int quality) {
    if (quality == k_quality_high) return 0.0005;
    if (quality == k_quality_low) return 0.001;
    return 0.00075;
}

// The rotation for bin i is e^(-i * i * slope). It is carried from bin to bin by one complex
// multiplication and taken afresh from cos and sin every k_exact_rotation bins, which keeps the
// accumulated rounding far below anything audible at a sixteenth of the library calls.
void rotate_left(complex_lr* spectrum, int half, double slope) {
    constexpr int k_exact_rotation = 16;
    const double step_c = std::cos(slope), step_s = std::sin(slope);
    double c = 1.0, s = 0.0;
    for (int i = 0; i < half; ++i) {
        if (i % k_exact_rotation == 0) {
            c = std::cos(i * slope);
            s = std::sin(i * slope);
        }
        complex_lr& x = spectrum[i];
        const double re = x.left_re, im = x.left_im;
        x.left_re = re * c + im * s;
        x.left_im = im * c - re * s;
        const double next_c = c * step_c - s * step_s;
        s = s * step_c + c * step_s;
        c = next_c;
    }
}

// The floor of the valley at interior candidate j, between the grid points: the bottom of a V
// through j and its two neighbours with equal slopes on both sides. A minimum that falls between
// two candidates thus counts as deep as one that falls on a candidate.
double valley_floor(const AzimuthCandidate* table, int j) {
    const double below = table[j - 1].ratio, above = table[j + 1].ratio;
    return std::max(table[j].ratio - std::fabs(below - above) / 2, 0.0);
}

bool is_valley_bottom(const AzimuthCandidate* table, int j) {
    return table[j].ratio <= table[j - 1].ratio && table[j].ratio <= table[j + 1].ratio;
}

// Phases are known only modulo pi, so a tone whose bin i makes i * t reach pi inside the search
// range has a second valley exactly as deep as the true one, and identical channels would be
// pulled into anti-phase. Among valleys of practically equal depth the one nearest the slope in
// force wins; a broadband signal has a single deep valley and keeps it.
int nearest_equal_valley(const AzimuthCandidate* table, int n, int best, double preferred) {
    const double best_floor = valley_floor(table, best);
    int chosen = best;
    for (int j = 1; j <= n - 2; ++j) {
        if (j == best || !is_valley_bottom(table, j) || table[j].ratio >= k_accept_ratio) continue;
        if (valley_floor(table, j) > best_floor + k_equal_floor) continue;
        if (std::fabs(table[j].slope - preferred) < std::fabs(table[chosen].slope - preferred))
            chosen = j;
    }
    return chosen;
}

}  // namespace

// The costs of every candidate. Each cost is a sum over the bins in bin order; four candidates
// at a time go through the bins together, so four independent sums fill the pipeline instead of
// one sum waiting for its previous addition, and every sum is added up exactly as on its own.
// Where the processor has SSE2 (every x86-64 one), the four go two to a register; where it has
// AVX, eight go four to a register (azimuth_avx.cpp).
void rate_azimuth_candidates(const AzimuthScratch& scratch, AzimuthCandidate* table, int n,
                             int nmax) {
#if defined(VARNOLT_HAVE_AVX_KERNELS)
    if (lane_kernel() == LaneKernel::avx) {
        rate_azimuth_candidates_avx(scratch.weight, scratch.difference, table, n, nmax);
        return;
    }
#endif
    constexpr int k_together = 4;
    int k = 0;
    for (; k + k_together <= n; k += k_together) {
#if defined(__SSE2__)
        FourCosts four{_mm_set_pd(table[k + 1].slope, table[k].slope),
                       _mm_set_pd(table[k + 3].slope, table[k + 2].slope)};
        for (int i = 0; i < nmax; ++i) four.add_bin(scratch, i);
        double costs[k_together];
        _mm_storeu_pd(costs, four.costs_01);
        _mm_storeu_pd(costs + 2, four.costs_23);
        for (int j = 0; j < k_together; ++j) table[k + j].cost = costs[j];
#else
        const double t0 = table[k].slope, t1 = table[k + 1].slope, t2 = table[k + 2].slope,
                     t3 = table[k + 3].slope;
        double c0 = 0.0, c1 = 0.0, c2 = 0.0, c3 = 0.0;
        for (int i = 0; i < nmax; ++i) {
            c0 += cost_term(scratch, i, t0);
            c1 += cost_term(scratch, i, t1);
            c2 += cost_term(scratch, i, t2);
            c3 += cost_term(scratch, i, t3);
        }
        table[k].cost = c0;
        table[k + 1].cost = c1;
        table[k + 2].cost = c2;
        table[k + 3].cost = c3;
#endif
    }
    for (; k < n; ++k) table[k].cost = cost_of(scratch, table[k].slope, nmax);
}

int list_azimuth_candidates(double limit, double step, AzimuthCandidate* table, int capacity) {
    int n = 0;
    for (double t = -limit - 0.001; t < limit + 0.0015 && n < capacity; t += step)
        table[n++].slope = t;
    return n;
}

AzimuthChoice choose_azimuth_candidate(AzimuthCandidate* table, int n, double preferred) {
    AzimuthChoice choice{k_no_ratio, -1, 0.0};
    if (n < 3) return choice;
    // Highest cost at or before each candidate, and at or after it.
    double prefix[k_azimuth_candidates];
    double suffix[k_azimuth_candidates];
    prefix[0] = table[0].cost;
    for (int k = 1; k < n; ++k) prefix[k] = std::max(prefix[k - 1], table[k].cost);
    suffix[n - 1] = table[n - 1].cost;
    for (int k = n - 2; k >= 0; --k) suffix[k] = std::max(suffix[k + 1], table[k].cost);
    // Costs that are all zero (digital silence) have no minimum to believe.
    if (!(prefix[n - 1] > 0.0)) return choice;

    for (int k = 1; k <= n - 2; ++k) {
        const double left = std::max(k_tiny_cost, prefix[k - 1]);
        const double right = std::max(k_tiny_cost, suffix[k + 1]);
        table[k].ratio = table[k].cost / std::min(left, right);
        if (table[k].ratio < choice.best_ratio) {
            choice.best_ratio = table[k].ratio;
            choice.best = k;
        }
    }
    // The end candidates have only one side: measure them against it.
    table[0].ratio = table[0].cost / std::max(k_tiny_cost, suffix[1]);
    table[n - 1].ratio = table[n - 1].cost / std::max(k_tiny_cost, prefix[n - 2]);

    if (choice.best < 0) return choice;
    const int k = nearest_equal_valley(table, n, choice.best, preferred);
    choice.best = k;
    choice.best_ratio = table[k].ratio;
    double below = table[k - 1].ratio - table[k].ratio;
    double above = table[k + 1].ratio - table[k].ratio;
    // An end's stand-in may not pull the estimate outside its neighbours.
    if (k - 1 == 0) below = std::max(below, 0.0);
    if (k + 1 == n - 1) above = std::max(above, 0.0);
    if (below > 0.0 || above > 0.0) {
        const double a = below / (below + above);
        choice.estimate = (1.0 - a) * table[k - 1].slope + a * table[k + 1].slope;
    }
    return choice;
}

AzimuthBlock start_azimuth_search(StereoState& stereo_state, const LiveParameters& live, int half,
                                  double sample_rate, int quality) {
    AzimuthScratch& scratch = stereo_state.azimuth_scratch;
    const double bin_hz = sample_rate / k_block_frames;
    const double tape_per_bin = tape_per_bin_um(sample_rate);
    // Each live value once per block: the window thread may move a slider meanwhile.
    const double speed = live.azimuth_speed;
    AzimuthBlock block;
    block.limit = live.azimuth_limit / tape_per_bin;
    block.max_change = speed / tape_per_bin;
    block.decay = 1.0 - speed * k_speed_decay;
    const double top = std::min(k_search_top_hz / bin_hz, static_cast<double>(half));
    block.nmax = top > 0.0 ? static_cast<int>(top) : 0;

    block.candidates = list_azimuth_candidates(block.limit, search_step(quality),
                                               scratch.candidates, k_azimuth_candidates);
    return block;
}

void analyse_azimuth_bins(StereoState& stereo_state, const AzimuthBlock& block,
                          const complex_lr* spectrum, int first, int last) {
    // Only the bins the search reads: those up to 16 kHz, half of them or fewer at 96 kHz.
    first = std::clamp(first, 0, block.nmax);
    last = std::clamp(last, first, block.nmax);
    analyse(stereo_state.azimuth_scratch, spectrum, first, last);
}

void rate_azimuth_part(StereoState& stereo_state, const AzimuthBlock& block, int first, int last) {
    first = std::clamp(first, 0, block.candidates);
    last = std::clamp(last, first, block.candidates);
    AzimuthScratch& scratch = stereo_state.azimuth_scratch;
    rate_azimuth_candidates(scratch, scratch.candidates + first, last - first, block.nmax);
}

void finish_azimuth_search(StereoState& stereo_state, const AzimuthBlock& block,
                           complex_lr* spectrum, int half) {
    StereoMonitor& monitor = stereo_state.monitor;
    AzimuthScratch& scratch = stereo_state.azimuth_scratch;
    double slope = stereo_state.current_slope * block.decay;
    const AzimuthChoice choice =
        choose_azimuth_candidate(scratch.candidates, block.candidates, slope);

    const bool accepted = choice.best >= 0 && choice.best_ratio < k_accept_ratio;
    monitor.estimate_accepted = accepted;
    if (accepted) {
        const double e = choice.estimate;
        monitor.slope_estimate = e;
        slope = e >= slope ? std::min(slope + block.max_change, e)
                           : std::max(slope - block.max_change, e);
    }
    stereo_state.current_slope = slope;
    monitor.slope = slope;
    monitor.slope_limit = block.limit;
    monitor.azimuth_fresh = true;
    rotate_left(spectrum, half, slope);
}

void correct_azimuth(StereoState& stereo_state, const LiveParameters& live, complex_lr* spectrum,
                     int half, double sample_rate, int quality) {
    const AzimuthBlock block = start_azimuth_search(stereo_state, live, half, sample_rate, quality);
    analyse_azimuth_bins(stereo_state, block, spectrum, 0, block.nmax);
    rate_azimuth_part(stereo_state, block, 0, block.candidates);
    finish_azimuth_search(stereo_state, block, spectrum, half);
}

}  // namespace varnolt
