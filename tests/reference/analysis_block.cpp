// The plain implementation kept as the yardstick of the optimised processors: the stated
// algorithms as first written, in a namespace of their own with state of their own.
// The equivalence tests run both on the same signals; nothing in the plug-in uses this.
#include "reference/analysis_block.h"

#include "reference/processor.h"

namespace varnolt::reference {

void assemble_analysis_block(const Processor& processor, stereo_frame* kept, complex_lr* spectrum) {
    const int n = processor.frame_count;
    const int e = processor.overlap;
    const double scale = 1.0 / processor.norm_divisor;
    for (int m = 0; m < e; ++m) spectrum[m] = {kept[m].left, 0.0, kept[m].right, 0.0};
    for (int m = e; m < n; ++m) {
        const int i = 2 * (m - e);
        spectrum[m] = {processor.intake[i] * scale, 0.0, processor.intake[i + 1] * scale, 0.0};
    }
    for (int m = 0; m < e; ++m)
        kept[m] = {spectrum[n - e + m].left_re, spectrum[n - e + m].right_re};
    for (int m = 0; m < e; ++m) {
        const double w = processor.window[m];
        spectrum[m].left_re *= w;
        spectrum[m].right_re *= w;
        spectrum[n - 1 - m].left_re *= w;
        spectrum[n - 1 - m].right_re *= w;
    }
}

}  // namespace varnolt::reference
