#include "processors/tone_analyzer.h"

#include <cmath>

#include "processors/analysis_block.h"

namespace varnolt {

ToneAnalyzer::ToneAnalyzer(ToneState& tone_state)
    : own_frame_count(k_block_frames), bin_count(k_tone_bins), tone_state(tone_state) {
    log2_size = k_log2_block_frames;
    last_index = k_block_frames - 1;
    norm_divisor = k_block_frames;
    quality = k_quality_normal;
    frame_count = own_frame_count;
    set_quality(k_quality_normal);
}

void ToneAnalyzer::process_block() {
    assemble_analysis_block(*this, tone_state.kept, analysis);
    transform(analysis, log2_size, false, false);
    for (int k = 0; k < bin_count; ++k) {
        const complex_lr& x = analysis[k];
        tone_state.tone_spectrum[k].left = std::hypot(x.left_re, x.left_im);
        tone_state.tone_spectrum[k].right = std::hypot(x.right_re, x.right_im);
    }
    tone_state.spectrum_rate = sample_rate;
}

}  // namespace varnolt
