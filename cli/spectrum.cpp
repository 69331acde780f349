#include "spectrum.h"

#include <cmath>
#include <memory>

#include "processors/processor.h"

namespace varnolt::cli {
namespace {

constexpr double k_pi = 3.14159265358979323846;
constexpr int k_log2_size = 11;
constexpr int k_size = 1 << k_log2_size;
constexpr int k_most_blocks = 4000;  // longer files are sampled at wider spacing
constexpr double k_full_scale = 2147483648.0;

}  // namespace

Spectrum average_spectrum(const AudioFile& audio) {
    Spectrum spectrum;
    spectrum.bin_hz = static_cast<double>(audio.sample_rate) / k_size;
    spectrum.power.assign(k_size / 2 + 1, 0.0);
    const long long frames = audio.frames();
    if (frames < k_size || audio.channels < 1) return spectrum;

    // A Hann window's coherent gain is 1/2: a full-scale sine gives a bin of magnitude N / 4.
    std::vector<double> window(k_size);
    for (int i = 0; i < k_size; ++i) window[i] = 0.5 - 0.5 * std::cos(2 * k_pi * i / k_size);
    const double norm = 1.0 / ((k_size / 4.0) * (k_size / 4.0));
    const int right = audio.channels > 1 ? 1 : 0;
    const long long blocks = (frames - k_size) / (k_size / 2) + 1;
    const long long stride = blocks > k_most_blocks ? blocks / k_most_blocks + 1 : 1;

    auto transform = std::make_unique<Processor>();
    std::vector<complex_lr> data(k_size);
    long long used = 0;
    for (long long b = 0; b < blocks; b += stride, ++used) {
        const long long start = b * (k_size / 2);
        for (int i = 0; i < k_size; ++i) {
            const std::size_t at = static_cast<std::size_t>((start + i) * audio.channels);
            data[i] = {audio.samples[at] / k_full_scale * window[i], 0.0,
                       audio.samples[at + right] / k_full_scale * window[i], 0.0};
        }
        transform->transform(data.data(), k_log2_size, false, false);
        for (int k = 0; k <= k_size / 2; ++k) {
            const complex_lr& x = data[k];
            const double p = x.left_re * x.left_re + x.left_im * x.left_im +
                             x.right_re * x.right_re + x.right_im * x.right_im;
            spectrum.power[k] += 0.5 * p * norm;
        }
    }
    for (double& p : spectrum.power) p /= static_cast<double>(used);
    return spectrum;
}

}  // namespace varnolt::cli
