// The plain implementation kept as the yardstick of the optimised processors: the stated
// algorithms as first written, in a namespace of their own with state of their own.
// The equivalence tests run both on the same signals; nothing in the plug-in uses this.
// The spectral transform and the overlap-add synthesis shared by the frequency-domain
// processors. Both run in place on caller-owned static buffers and allocate nothing.

#include <cmath>
#include <utility>

#include "reference/processor.h"

namespace varnolt::reference {
namespace {

constexpr double k_pi = 3.14159265358979323846;

void bit_reverse(complex_lr* data, int n) {
    int j = 0;
    for (int i = 0; i < n - 1; ++i) {
        if (i < j) std::swap(data[i], data[j]);
        int k = n / 2;
        while (j >= k) {
            j -= k;
            k /= 2;
        }
        j += k;
    }
}

void first_stage(complex_lr* data, int n) {
    for (int m = 0; m < n; m += 2) {
        complex_lr& p = data[m];
        complex_lr& q = data[m + 1];
        const complex_lr sum = {p.left_re + q.left_re, p.left_im + q.left_im,
                                p.right_re + q.right_re, p.right_im + q.right_im};
        q = {p.left_re - q.left_re, p.left_im - q.left_im, p.right_re - q.right_re,
             p.right_im - q.right_im};
        p = sum;
    }
}

// Butterflies of one stage of span `span`; w runs through the twiddles by recurrence, one
// complex multiplication per j instead of a sine and a cosine per butterfly.
void stage(complex_lr* data, int n, int span, bool inverse) {
    const int half = span / 2;
    const double theta = k_pi / half;
    const double c = std::cos(theta);
    const double s = std::sin(theta);
    double w_re = 1.0;
    double w_im = 0.0;
    for (int j = 0; j < half; ++j) {
        const double t_im_sign = inverse ? -1.0 : 1.0;  // conj(w) for the inverse
        const double wr = w_re;
        const double wi = t_im_sign * w_im;
        for (int k = j; k < n; k += span) {
            complex_lr& a = data[k];
            complex_lr& b = data[k + half];
            const double lr = wr * b.left_re - wi * b.left_im;
            const double li = wr * b.left_im + wi * b.left_re;
            const double rr = wr * b.right_re - wi * b.right_im;
            const double ri = wr * b.right_im + wi * b.right_re;
            b = {a.left_re - lr, a.left_im - li, a.right_re - rr, a.right_im - ri};
            a = {a.left_re + lr, a.left_im + li, a.right_re + rr, a.right_im + ri};
        }
        const double next_re = w_re * c + w_im * s;
        const double next_im = w_im * c - w_re * s;
        w_re = next_re;
        w_im = next_im;
    }
}

}  // namespace

void Processor::transform(complex_lr* data, int log2n, bool inverse, bool dc_fix) const {
    const int n = 1 << log2n;
    double dc_left = 0.0;
    double dc_right = 0.0;
    if (dc_fix) {
        dc_left = 0.5 * data[0].left_re;
        dc_right = 0.5 * data[0].right_re;
        data[0] = {0.0, 0.0, 0.0, 0.0};
    }
    bit_reverse(data, n);
    first_stage(data, n);
    for (int s = 2; s <= log2n; ++s) stage(data, n, 1 << s, inverse);
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

}  // namespace varnolt::reference
