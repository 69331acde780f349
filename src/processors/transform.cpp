// The spectral transform and the overlap-add synthesis shared by the frequency-domain
// processors. Both run in place on caller-owned static buffers and allocate nothing.

#include "processors/fft.h"
#include "processors/processor.h"

namespace varnolt {
void Processor::transform(complex_lr* data, int log2n, bool inverse, bool dc_fix) const {
    // 2^30 points would not fit in memory anyway; a negative size is no transform at all.
    if (log2n < 0 || log2n > 30) return;
    double dc_left = 0.0;
    double dc_right = 0.0;
    if (dc_fix) {
        dc_left = 0.5 * data[0].left_re;
        dc_right = 0.5 * data[0].right_re;
        data[0] = {0.0, 0.0, 0.0, 0.0};
    }
    fft(data, log2n, inverse);
    if (dc_fix) {
        for (int i = 0; i < frame_count; ++i) {
            data[i].left_re += dc_left;
            data[i].right_re += dc_right;
        }
    }
}

void Processor::synthesize(complex_lr* spectrum, stereo_frame* tail, bool to_ring, bool dc_fix,
                           stereo_frame* frames_out) {
    transform(spectrum, log2_size, true, dc_fix);
    const int n = frame_count;
    const int e = overlap;
    const int k = static_cast<int>(0.1 * e);  // the fades cover the outer tenth of the overlap
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
        if (to_ring) {
            write_output(left);
            write_output(right);
        } else {
            frames_out[m] = {left, right};
        }
    }
    for (int m = 0; m < e; ++m)
        tail[m] = {spectrum[n - e + m].left_re, spectrum[n - e + m].right_re};
}

}  // namespace varnolt
