// The spectral transform and the overlap-add synthesis shared by the frequency-domain
// processors. Both run in place on caller-owned static buffers and allocate nothing.

#include <algorithm>

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

namespace {

// Steps 2 to 5 of the synthesis on a signal already in the time domain: frame m's left value is
// signal[m * stride], its right value right_offset doubles further. emit(m, left, right) takes
// each of the N - E output frames in order; the tail is updated.
template <class Emit>
void crossfade(int n, int e, const double* signal, int stride, int right_offset, stereo_frame* tail,
               Emit emit) {
    const int k = static_cast<int>(0.1 * e);  // the fades cover the outer tenth of the overlap
    const int l = e - k;
    const auto left_of = [signal, stride](int m) { return signal[m * stride]; };
    const auto right_of = [signal, stride, right_offset](int m) {
        return signal[m * stride + right_offset];
    };
    // The four ranges one after the other: the new block fading in over the tail, the two
    // added, the tail fading out, the new block alone.
    for (int m = 0; m < k; ++m) {
        const double fade_in = static_cast<double>(m) / k;
        emit(m, left_of(m) * fade_in + tail[m].left, right_of(m) * fade_in + tail[m].right);
    }
    for (int m = k; m < l; ++m) emit(m, left_of(m) + tail[m].left, right_of(m) + tail[m].right);
    for (int m = std::max(l, k); m < e; ++m) {
        const double fade_out = static_cast<double>(e - m) / k;
        emit(m, left_of(m) + tail[m].left * fade_out, right_of(m) + tail[m].right * fade_out);
    }
    for (int m = e; m < n - e; ++m) emit(m, left_of(m), right_of(m));
    for (int m = 0; m < e; ++m) {
        const double* frame = signal + (n - e + m) * stride;
        tail[m] = {frame[0], frame[right_offset]};
    }
}

}  // namespace

void Processor::overlap_add(const double* signal, int stride, int right_offset, stereo_frame* tail,
                            stereo_frame* frames_out) const {
    crossfade(frame_count, overlap, signal, stride, right_offset, tail,
              [frames_out](int m, double left, double right) {
                  frames_out[m] = {left, right};
              });
}

void Processor::overlap_add_to_ring(const double* signal, int stride, int right_offset,
                                    stereo_frame* tail) {
    crossfade(frame_count, overlap, signal, stride, right_offset, tail,
              [this](int, double left, double right) {
                  write_output(left);
                  write_output(right);
              });
}

void Processor::synthesize(complex_lr* spectrum, stereo_frame* tail, bool to_ring, bool dc_fix,
                           stereo_frame* frames_out) {
    transform(spectrum, log2_size, true, dc_fix);
    // The real parts of both channels: doubles 0 and 2 of each complex_lr.
    static_assert(sizeof(complex_lr) == 4 * sizeof(double), "complex_lr is four doubles");
    const double* real_parts = &spectrum[0].left_re;
    if (to_ring) {
        overlap_add_to_ring(real_parts, 4, 2, tail);
    } else {
        overlap_add(real_parts, 4, 2, tail, frames_out);
    }
}

}  // namespace varnolt
