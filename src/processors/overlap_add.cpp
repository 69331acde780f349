// The overlap-add synthesis shared by the frequency-domain processors: each block's signal,
// back in the time domain, crossfaded with the previous block's tail. Works on caller-owned
// buffers and allocates nothing.

#include <algorithm>

#include "processors/processor.h"

namespace varnolt {
namespace {

// On a signal already in the time domain: frame m's left value is signal[m * stride], its right
// value right_offset doubles further. emit(m, left, right) takes each of the N - E output frames
// in order; the tail is updated.
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
    crossfade(geometry_.frames, geometry_.overlap, signal, stride, right_offset, tail,
              [frames_out](int m, double left, double right) {
                  frames_out[m] = {left, right};
              });
}

void Processor::overlap_add_to_ring(const double* signal, int stride, int right_offset,
                                    stereo_frame* tail) {
    crossfade(geometry_.frames, geometry_.overlap, signal, stride, right_offset, tail,
              [this](int, double left, double right) {
                  write_output(left);
                  write_output(right);
              });
}

}  // namespace varnolt
