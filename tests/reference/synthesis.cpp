#include "reference/synthesis.h"

#include "reference/transform.h"

namespace varnolt::reference {

void synthesize(const Processor& processor, complex_lr* spectrum, stereo_frame* tail,
                stereo_frame* frames_out) {
    const int n = processor.geometry().frames;
    const int e = processor.geometry().overlap;
    const double dc_left = 0.5 * spectrum[0].left_re;
    const double dc_right = 0.5 * spectrum[0].right_re;
    spectrum[0] = {0.0, 0.0, 0.0, 0.0};
    transform(spectrum, processor.geometry().log2_frames, true);
    for (int m = 0; m < n; ++m) {
        spectrum[m].left_re += dc_left;
        spectrum[m].right_re += dc_right;
    }

    const int k = static_cast<int>(0.1 * e);
    const int l = e - k;
    for (int m = 0; m < n - e; ++m) {
        double left = spectrum[m].left_re;
        double right = spectrum[m].right_re;
        if (m < k) {
            const double fade_in = static_cast<double>(m) / k;
            left = left * fade_in + tail[m].left;
            right = right * fade_in + tail[m].right;
        } else if (m < l) {
            left += tail[m].left;
            right += tail[m].right;
        } else if (m < e) {
            const double fade_out = static_cast<double>(e - m) / k;
            left += tail[m].left * fade_out;
            right += tail[m].right * fade_out;
        }
        frames_out[m] = {left, right};
    }
    for (int m = 0; m < e; ++m)
        tail[m] = {spectrum[n - e + m].left_re, spectrum[n - e + m].right_re};
}

}  // namespace varnolt::reference
