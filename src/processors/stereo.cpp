#include "processors/stereo.h"

#include <algorithm>

#include "processors/fft.h"
#include "settings/parameters.h"

namespace varnolt {

namespace {

// E = N/2 = 1024, the highest quality's overlap, at every quality.
constexpr int k_stereo_geometry_quality = k_quality_high;
constexpr int k_n = k_block_frames;
// The passes in order, with the parts each is cut into when spread and its cost in microseconds
// for a block at 44.1 kHz with both stages on at their first-start settings, on a processor with
// AVX, as bench/block_steps_bench.cpp measures them: the weights that place the steps among the
// calls.
struct StereoPass {
    StereoStepKind kind;
    int spread_parts;
    double cost;
};
constexpr StereoPass k_passes[] = {
    {StereoStepKind::transform, 1, 21.0},      {StereoStepKind::spectra, 1, 8.0},
    {StereoStepKind::azimuth_start, 1, 0.2},   {StereoStepKind::azimuth_analysis, 2, 24.0},
    {StereoStepKind::azimuth_rating, 4, 20.0}, {StereoStepKind::azimuth_finish, 1, 5.0},
    {StereoStepKind::hiss_measure, 2, 12.0},   {StereoStepKind::hiss_start, 1, 6.5},
    {StereoStepKind::hiss_removal, 4, 47.0},   {StereoStepKind::synthesis, 1, 20.0},
    {StereoStepKind::overlap, 1, 5.5},
};
// Parts are shares of this scale of a count known only when the part runs.
constexpr int k_part_scale = 1 << 16;

// The channels' spectra from the packed one: L[k] = (Z[k] + conj Z[N-k]) / 2 and
// R[k] = (Z[k] - conj Z[N-k]) / 2i, for the lower half (the upper half is cleared later).
void unpack_spectrum(const complex_value* z, complex_lr* x) {
    for (int k = 0; k < k_n / 2; ++k) {
        const complex_value a = z[k], b = z[k == 0 ? 0 : k_n - k];
        x[k] = {0.5 * (a.re + b.re), 0.5 * (a.im - b.im), 0.5 * (a.im + b.im), 0.5 * (b.re - a.re)};
    }
}

// The packed spectrum whose inverse is the real parts of the one-sided spectrum's inverse,
// left as real and right as imaginary part, bin 0 counted once (the DC correction): P[k] =
// (YL[k] + i YR[k]) / 2 and P[N-k] = (conj YL[k] + i conj YR[k]) / 2.
void pack_one_sided(const complex_lr* y, complex_value* z) {
    z[0] = {0.5 * y[0].left_re, 0.5 * y[0].right_re};
    z[k_n / 2] = {0.0, 0.0};
    for (int k = 1; k < k_n / 2; ++k) {
        const complex_lr& v = y[k];
        z[k] = {0.5 * (v.left_re - v.right_im), 0.5 * (v.left_im + v.right_re)};
        z[k_n - k] = {0.5 * (v.left_re + v.right_im), 0.5 * (v.right_re - v.left_im)};
    }
}

}  // namespace

Stereo::Stereo(StereoState& stereo_state, LiveParameters& live)
    : Processor(k_stereo_geometry_quality), stereo_state(stereo_state), live(live) {
    // Until the chain hands the setting over, the azimuth search steps as at the low quality.
    set_quality_keeping_geometry(k_quality_low);
    // A linear edge instead of the raised cosine: 0 up to j = 85, 1 from j = 939.
    double* window = window_edge();
    const int edge = geometry().overlap;
    for (int j = 0; j < edge; ++j) window[j] = std::min(std::max(1.2 * j / edge - 0.1, 0.0), 1.0);
    Stereo::reset_defaults();  // this class's own defaults, as intended in a constructor
}

void Stereo::reset_defaults() {
    const LiveParameters defaults;
    live.azimuth_enabled = defaults.azimuth_enabled;
    live.azimuth_limit = defaults.azimuth_limit;
    live.azimuth_speed = defaults.azimuth_speed;
    Settings& p = live.values;
    const Settings& d = defaults.values;
    p.fm_enabled = d.fm_enabled;
    p.fm_difference = d.fm_difference;
    p.ignore_lowest_percentage = d.ignore_lowest_percentage;
    p.multiply_by = d.multiply_by;
    p.reduce_percentage = d.reduce_percentage;
    p.delay_time = d.delay_time;
    p.signal_roughness = d.signal_roughness;
}

void Stereo::transform_analysis_block() {
    assemble_packed_block(stereo_state.previous_frames, packed);
    fft(packed, geometry().log2_frames, false);
}

void Stereo::unpack_spectra() {
    unpack_spectrum(packed, spectrum);
    prepare_actions(spectrum);
}

void Stereo::prepare_actions(complex_lr* data) {
    const int half = geometry().half;
    for (int i = 0; i < half; ++i) {
        data[i].left_re *= 2.0;
        data[i].left_im *= 2.0;
        data[i].right_re *= 2.0;
        data[i].right_im *= 2.0;
    }
    std::fill(data + half, data + geometry().frames, complex_lr{0.0, 0.0, 0.0, 0.0});
    azimuth_on_ = live.azimuth_enabled != 0;
    hiss_on_ = live.values.fm_enabled != 0;
}

void Stereo::perform_actions(complex_lr* data) {
    prepare_actions(data);
    const int half = geometry().half;
    if (azimuth_on_) correct_azimuth(stereo_state, live, data, half, sample_rate(), quality());
    if (hiss_on_) remove_stereo_hiss(stereo_state, live, data, half, sample_rate());
}

void Stereo::synthesize_block() {
    // Bin 0 was doubled with the others; the packing counts it once, as the DC correction does.
    pack_one_sided(spectrum, packed);
    fft(packed, geometry().log2_frames, true);
}

void Stereo::overlap_block() {
    overlap_add_to_ring(&packed[0].re, 2, 1, stereo_state.tail);
}

void Stereo::plan_steps() {
    if (plan_count_ > 0 && plan_spread_ == spreads()) return;
    int n = 0;
    for (const StereoPass& pass : k_passes) {
        const int parts = spreads() ? pass.spread_parts : 1;
        for (int i = 0; i < parts; ++i)
            plan_[n++] = {pass.kind, k_part_scale * i / parts, k_part_scale * (i + 1) / parts};
    }
    plan_count_ = n;
    plan_spread_ = spreads();
}

int Stereo::block_step_count() {
    plan_steps();
    return plan_count_;
}

double Stereo::block_step_weight(int step) const {
    const StereoStep& s = plan_[step];
    for (const StereoPass& pass : k_passes)
        if (pass.kind == s.kind)
            return pass.cost * (s.last - s.first) / static_cast<double>(k_part_scale);
    return 1.0;
}

void Stereo::run_block_step(int step) {
    const StereoStep& s = plan_[step];
    const int half = geometry().half;
    // A part's share of a count: bins or candidates.
    const auto at = [](int count, int share) {
        return static_cast<int>(static_cast<long long>(count) * share / k_part_scale);
    };
    switch (s.kind) {
        case StereoStepKind::transform:
            transform_analysis_block();
            break;
        case StereoStepKind::spectra:
            unpack_spectra();
            break;
        case StereoStepKind::azimuth_start:
            if (azimuth_on_)
                azimuth_block_ =
                    start_azimuth_search(stereo_state, live, half, sample_rate(), quality());
            break;
        case StereoStepKind::azimuth_analysis:
            if (azimuth_on_)
                analyse_azimuth_bins(stereo_state, azimuth_block_, spectrum,
                                     at(azimuth_block_.nmax, s.first),
                                     at(azimuth_block_.nmax, s.last));
            break;
        case StereoStepKind::azimuth_rating:
            if (azimuth_on_)
                rate_azimuth_part(stereo_state, azimuth_block_,
                                  at(azimuth_block_.candidates, s.first),
                                  at(azimuth_block_.candidates, s.last));
            break;
        case StereoStepKind::azimuth_finish:
            if (azimuth_on_) finish_azimuth_search(stereo_state, azimuth_block_, spectrum, half);
            break;
        case StereoStepKind::hiss_measure:
            if (hiss_on_)
                measure_hiss_bins(stereo_state, spectrum, at(half, s.first), at(half, s.last));
            break;
        case StereoStepKind::hiss_start:
            if (hiss_on_) hiss_block_ = start_hiss_removal(stereo_state, live, half, sample_rate());
            break;
        case StereoStepKind::hiss_removal:
            if (hiss_on_)
                remove_hiss_part(stereo_state, hiss_block_, spectrum, at(half, s.first),
                                 at(half, s.last));
            break;
        case StereoStepKind::synthesis:
            if (hiss_on_) finish_hiss_removal(stereo_state, hiss_block_);
            synthesize_block();
            break;
        case StereoStepKind::overlap:
            overlap_block();
            break;
    }
}

void Stereo::process_block() {
    plan_steps();
    for (int step = 0; step < plan_count_; ++step) run_block_step(step);
}

}  // namespace varnolt
