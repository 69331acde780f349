#include "spectrum.h"

#include <algorithm>
#include <cmath>

namespace varnolt::cli {
namespace {

constexpr double k_pi = 3.14159265358979323846;
constexpr int k_log2_size = 11;
constexpr int k_size = 1 << k_log2_size;
constexpr int k_hop = k_size / 2;
constexpr int k_most_blocks = 4000;  // longer files are sampled at wider spacing

}  // namespace

SpectrumAccumulator::SpectrumAccumulator(int channels, int sample_rate, long long expected_frames)
    : channels_(channels),
      bin_hz_(static_cast<double>(sample_rate) / k_size),
      left_(k_size),
      right_(k_size),
      hann_(k_size),
      power_(k_size / 2 + 1, 0.0),
      data_(k_size) {
    const long long blocks = expected_frames < k_size ? 1 : (expected_frames - k_size) / k_hop + 1;
    stride_ = blocks > k_most_blocks ? blocks / k_most_blocks + 1 : 1;
    for (int i = 0; i < k_size; ++i) hann_[i] = 0.5 - 0.5 * std::cos(2 * k_pi * i / k_size);
}

void SpectrumAccumulator::add(const double* samples, long long frames) {
    if (channels_ < 1) return;
    const int right = channels_ > 1 ? 1 : 0;
    for (long long f = 0; f < frames; ++f) {
        const double* frame = samples + f * channels_;
        left_[filled_] = frame[0];
        right_[filled_] = frame[right];
        if (++filled_ < k_size) continue;
        if (block_ % stride_ == 0) transform_window();
        ++block_;
        // Half overlap: the second half of this window starts the next one.
        std::copy(left_.begin() + k_hop, left_.end(), left_.begin());
        std::copy(right_.begin() + k_hop, right_.end(), right_.begin());
        filled_ = k_hop;
    }
}

void SpectrumAccumulator::transform_window() {
    for (int i = 0; i < k_size; ++i)
        data_[i] = {left_[i] * hann_[i], 0.0, right_[i] * hann_[i], 0.0};
    fft(data_.data(), k_log2_size, false);
    // A Hann window's coherent gain is 1/2: a full-scale sine gives a bin of magnitude N / 4.
    const double norm = 1.0 / ((k_size / 4.0) * (k_size / 4.0));
    for (int k = 0; k <= k_size / 2; ++k) {
        const complex_lr& x = data_[k];
        const double p = x.left_re * x.left_re + x.left_im * x.left_im + x.right_re * x.right_re +
                         x.right_im * x.right_im;
        power_[k] += 0.5 * p * norm;
    }
    ++used_;
}

Spectrum SpectrumAccumulator::result() const {
    Spectrum spectrum;
    spectrum.bin_hz = bin_hz_;
    spectrum.power = power_;
    if (used_ > 0)
        for (double& p : spectrum.power) p /= static_cast<double>(used_);
    return spectrum;
}

}  // namespace varnolt::cli
