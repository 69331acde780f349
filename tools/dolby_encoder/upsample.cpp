#include "upsample.h"

#include <cmath>
#include <vector>

namespace varnolt_tools {

namespace {
constexpr double k_pi = 3.14159265358979323846;

double sinc(double x) {
    return x == 0 ? 1 : std::sin(k_pi * x) / (k_pi * x);
}
}  // namespace

Sound upsample(const Sound& in, int factor) {
    if (factor <= 1) return in;
    constexpr int taps = 2 * k_upsample_half_taps;
    // One row of taps per phase: new sample m * factor + p lies p / factor after old sample m.
    std::vector<double> table(static_cast<std::size_t>(factor) * taps);
    for (int p = 0; p < factor; ++p) {
        for (int t = 0; t < taps; ++t) {
            const double x = static_cast<double>(p) / factor - (t - k_upsample_half_taps + 1);
            const double hann = 0.5 + 0.5 * std::cos(k_pi * x / (k_upsample_half_taps + 1));
            table[p * taps + t] = k_upsample_cutoff * sinc(k_upsample_cutoff * x) * hann;
        }
    }
    Sound out;
    out.rate = in.rate * factor;
    out.channels = in.channels;
    const long frames = static_cast<long>(in.frames());
    out.samples.resize(in.samples.size() * factor);
    for (long m = 0; m < frames; ++m)
        for (int p = 0; p < factor; ++p)
            for (int c = 0; c < in.channels; ++c) {
                double sum = 0;
                for (int t = 0; t < taps; ++t) {
                    const long k = m + t - k_upsample_half_taps + 1;
                    if (k >= 0 && k < frames)
                        sum += in.samples[k * in.channels + c] * table[p * taps + t];
                }
                out.samples[(m * factor + p) * in.channels + c] = static_cast<float>(sum);
            }
    return out;
}

}  // namespace varnolt_tools
