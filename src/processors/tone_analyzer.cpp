#include "processors/tone_analyzer.h"

#include <cmath>

#include "processors/fft.h"

namespace varnolt {

// The analyser keeps the normal quality's geometry whatever the setting.
ToneAnalyzer::ToneAnalyzer(ToneState& tone_state)
    : Processor(k_quality_normal), tone_state(tone_state) {}

void ToneAnalyzer::process_block() {
    assemble_analysis_block(tone_state.kept, analysis);
    fft(analysis, geometry().log2_frames, false);
    for (int k = 0; k < k_tone_bins; ++k) {
        const complex_lr& x = analysis[k];
        tone_state.tone_spectrum[k].left = std::hypot(x.left_re, x.left_im);
        tone_state.tone_spectrum[k].right = std::hypot(x.right_re, x.right_im);
    }
    tone_state.spectrum_rate = sample_rate();
}

}  // namespace varnolt
