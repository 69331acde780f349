#include "listening.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "plugin/modify_samples.h"

namespace varnolt::testing {
namespace {

constexpr int k_block_frames = 576;
constexpr double k_two_pi = 6.283185307179586;

// Reproducible noise from the sample index: the same programme in every run.
double hiss(long long n, int channel) {
    std::uint64_t x = static_cast<std::uint64_t>(n) * 2 + channel + 0x9E3779B97F4A7C15ull;
    x ^= x >> 30;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 27;
    x *= 0x94D049BB133111EBull;
    x ^= x >> 31;
    return (x >> 11) * (1.0 / 9007199254740992.0) * 2.0 - 1.0;
}

}  // namespace

double programme(long long n, int channel, int rate) {
    const double t = static_cast<double>(n) / rate;
    const double shared =
        6000.0 * std::sin(k_two_pi * 440.0 * t) +
        2500.0 * std::sin(k_two_pi * 5200.0 * t) * (0.6 + 0.4 * std::sin(k_two_pi * 0.7 * t));
    return shared + 1500.0 * hiss(n, channel);
}

Loudness measure(const std::vector<std::int16_t>& samples, std::size_t first) {
    Loudness l;
    const std::size_t count = samples.size() > first ? samples.size() - first : 0;
    if (count == 0) return l;
    double sum = 0.0;
    std::size_t zeros = 0, rails = 0;
    for (std::size_t i = first; i < samples.size(); ++i) {
        const double v = samples[i] / 32768.0;
        sum += v * v;
        zeros += samples[i] == 0;
        rails += samples[i] == 32767 || samples[i] == -32768;
    }
    l.rms = std::sqrt(sum / count);
    l.zero_share = static_cast<double>(zeros) / count;
    l.rail_share = static_cast<double>(rails) / count;
    return l;
}

std::vector<std::int16_t> Listener::play(double seconds) {
    const long long frames = static_cast<long long>(seconds * rate_);
    std::vector<std::int16_t> out;
    out.reserve(static_cast<std::size_t>(2 * frames));
    std::vector<std::int16_t> block(2 * k_block_frames);
    for (long long done = 0; done < frames; done += k_block_frames) {
        const int n = static_cast<int>(std::min<long long>(k_block_frames, frames - done));
        for (int i = 0; i < n; ++i)
            for (int ch = 0; ch < 2; ++ch) {
                const double x = std::round(programme(frame_ + i, ch, rate_));
                block[2 * i + ch] = static_cast<std::int16_t>(std::clamp(x, -32768.0, 32767.0));
            }
        modify_samples(nullptr, block.data(), n, 16, 2, rate_);
        out.insert(out.end(), block.begin(), block.begin() + 2 * n);
        frame_ += n;
    }
    return out;
}

Loudness Listener::listen(double seconds, double measured) {
    const std::vector<std::int16_t> out = play(seconds);
    const auto keep = static_cast<std::size_t>(2 * measured * rate_);
    return measure(out, out.size() > keep ? out.size() - keep : 0);
}

}  // namespace varnolt::testing
