#include "reference/transform.h"

#include <cmath>
#include <utility>

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

// The butterflies of the stage of span `span`; w runs through the twiddles by recurrence, one
// complex multiplication per j instead of a sine and a cosine per butterfly.
void stage(complex_lr* data, int n, int span, bool inverse) {
    const int half = span / 2;
    const double theta = k_pi / half;
    const double c = std::cos(theta);
    const double s = std::sin(theta);
    const double sign = inverse ? -1.0 : 1.0;  // conj(w) for the inverse
    double w_re = 1.0;
    double w_im = 0.0;
    for (int j = 0; j < half; ++j) {
        const double wr = w_re;
        const double wi = sign * w_im;
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

void transform(complex_lr* data, int log2n, bool inverse) {
    const int n = 1 << log2n;
    bit_reverse(data, n);
    for (int span = 2; span <= n; span *= 2) stage(data, n, span, inverse);
}

}  // namespace varnolt::reference
