#pragma once
// The benchmarks' programme stand-in: stereo pink noise at about -20 dBFS, the same every run.

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

namespace varnolt::bench {

// Interleaved 16-bit stereo pink noise by the Voss-McCartney-like sum of filtered white noise.
inline std::vector<std::int16_t> pink_noise(int frames) {
    std::mt19937 rng(9);
    std::normal_distribution<double> white(0.0, 1.0);
    double b[7] = {};
    std::vector<std::int16_t> samples;
    samples.reserve(2 * static_cast<std::size_t>(frames));
    for (int n = 0; n < frames; ++n) {
        for (int c = 0; c < 2; ++c) {
            const double w = white(rng);
            b[0] = 0.99886 * b[0] + w * 0.0555179;
            b[1] = 0.99332 * b[1] + w * 0.0750759;
            b[2] = 0.96900 * b[2] + w * 0.1538520;
            b[3] = 0.86650 * b[3] + w * 0.3104856;
            b[4] = 0.55000 * b[4] + w * 0.5329522;
            b[5] = -0.7616 * b[5] - w * 0.0168980;
            const double p = b[0] + b[1] + b[2] + b[3] + b[4] + b[5] + b[6] + w * 0.5362;
            b[6] = w * 0.115926;
            samples.push_back(static_cast<std::int16_t>(std::clamp(p * 1200.0, -32768.0, 32767.0)));
        }
    }
    return samples;
}

}  // namespace varnolt::bench
