// The windowed analysis block the frequency-domain processors transform: the previous block's
// last E frames and the intake's N - E new ones.

#include "processors/processor.h"

namespace varnolt {

void Processor::assemble_analysis_block(stereo_frame* kept, complex_lr* spectrum) const {
    const int n = geometry_.frames;
    const int e = geometry_.overlap;
    const double scale = 1.0 / n;
    for (int m = 0; m < e; ++m) spectrum[m] = {kept[m].left, 0.0, kept[m].right, 0.0};
    for (int m = e; m < n; ++m) {
        const int i = 2 * (m - e);
        spectrum[m] = {block_intake_[i] * scale, 0.0, block_intake_[i + 1] * scale, 0.0};
    }
    for (int m = 0; m < e; ++m)
        kept[m] = {spectrum[n - e + m].left_re, spectrum[n - e + m].right_re};
    for (int m = 0; m < e; ++m) {
        const double w = window_[m];
        spectrum[m].left_re *= w;
        spectrum[m].right_re *= w;
        spectrum[n - 1 - m].left_re *= w;
        spectrum[n - 1 - m].right_re *= w;
    }
}

void Processor::assemble_packed_block(stereo_frame* kept, complex_value* packed) const {
    const int n = geometry_.frames;
    const int e = geometry_.overlap;
    const double scale = 1.0 / n;
    for (int m = 0; m < e; ++m) packed[m] = {kept[m].left, kept[m].right};
    for (int m = e; m < n; ++m) {
        const int i = 2 * (m - e);
        packed[m] = {block_intake_[i] * scale, block_intake_[i + 1] * scale};
    }
    for (int m = 0; m < e; ++m) kept[m] = {packed[n - e + m].re, packed[n - e + m].im};
    for (int m = 0; m < e; ++m) {
        const double w = window_[m];
        packed[m].re *= w;
        packed[m].im *= w;
        packed[n - 1 - m].re *= w;
        packed[n - 1 - m].im *= w;
    }
}

}  // namespace varnolt
