#include "processors/stereo.h"

#include <algorithm>

#include "processors/fft.h"
#include "settings/parameters.h"

namespace varnolt {

namespace {

// E = N/2 = 1024, the highest quality's overlap, at every quality.
constexpr int k_stereo_geometry_quality = k_quality_high;
constexpr int k_n = k_block_frames;

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

void Stereo::process_block() {
    assemble_packed_block(stereo_state.previous_frames, packed);
    fft(packed, geometry().log2_frames, false);
    unpack_spectrum(packed, spectrum);
    perform_actions(spectrum);
    // Bin 0 was doubled with the others; the packing counts it once, as the DC correction does.
    pack_one_sided(spectrum, packed);
    fft(packed, geometry().log2_frames, true);
    overlap_add_to_ring(&packed[0].re, 2, 1, stereo_state.tail);
}

void Stereo::perform_actions(complex_lr* data) {
    const int half = geometry().half;
    for (int i = 0; i < half; ++i) {
        data[i].left_re *= 2.0;
        data[i].left_im *= 2.0;
        data[i].right_re *= 2.0;
        data[i].right_im *= 2.0;
    }
    std::fill(data + half, data + geometry().frames, complex_lr{0.0, 0.0, 0.0, 0.0});
    if (live.azimuth_enabled)
        correct_azimuth(stereo_state, live, data, half, sample_rate(), quality());
    if (live.values.fm_enabled) remove_stereo_hiss(stereo_state, live, data, half, sample_rate());
}

}  // namespace varnolt
