// The plain implementation kept as the yardstick of the optimised processors: the stated
// algorithms as first written, in a namespace of their own with state of their own.
// The equivalence tests run both on the same signals; nothing in the plug-in uses this.
#include "reference/stereo.h"

#include <algorithm>

#include "reference/analysis_block.h"
#include "settings/parameters.h"

namespace varnolt::reference {

StereoState stereo_state;

namespace {

constexpr int k_stereo_overlap = k_block_frames / 2;  // E = 1024 at every quality
complex_lr spectrum[k_block_frames];

}  // namespace

Stereo::Stereo() {
    frame_count = k_block_frames;
    half_count = k_stereo_bins;
    norm_divisor = k_block_frames;
    log2_size = 11;
    overlap = k_stereo_overlap;
    hop = 2 * (k_block_frames - k_stereo_overlap);
    last_index = k_block_frames - 1;
    latency = 2 * k_block_frames;
    out_ring_length = hop + 2;
    filled = 0;
    out_write = 0;
    out_read = out_ring_length - 1;
    output_ready = 0;
    // A linear edge instead of the raised cosine: 0 up to j = 85, 1 from j = 939.
    for (int j = 0; j < k_stereo_overlap; ++j)
        window[j] = std::min(std::max(1.2 * j / 1024 - 0.1, 0.0), 1.0);
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
    assemble_analysis_block(*this, stereo_state.previous_frames, spectrum);
    transform(spectrum, log2_size, false, false);
    perform_actions(spectrum);
    // Bin 0 was doubled with the others; the DC correction takes half of it back.
    synthesize(spectrum, stereo_state.tail, true, true, nullptr);
}

void Stereo::perform_actions(complex_lr* data) {
    const int half = frame_count / 2;
    for (int i = 0; i < half; ++i) {
        data[i].left_re *= 2.0;
        data[i].left_im *= 2.0;
        data[i].right_re *= 2.0;
        data[i].right_im *= 2.0;
    }
    std::fill(data + half, data + frame_count, complex_lr{0.0, 0.0, 0.0, 0.0});
    if (live.azimuth_enabled) correct_azimuth(data, half, sample_rate, quality);
    if (live.values.fm_enabled) remove_stereo_hiss(data, half, sample_rate);
}

}  // namespace varnolt::reference
