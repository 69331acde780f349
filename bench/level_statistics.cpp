// Level statistics of a recording that a blind choice of "PC Recording Volume" could go by: the
// whole file's RMS, and percentiles of the RMS of short windows (silence left out), broadband
// and above 2 kHz. Set beside the best setting found with the clean source, they show which
// statistic follows the best setting most closely.
//
//   varnolt_level_statistics FILE...
//
// One line per file: name, then each statistic in dBFS (mean of the channels' powers), and the
// tilt slope: how many dB the part above 2 kHz gains against the whole per dB of window level
// (a regression over the windows). Dolby B encoding lifts quiet high frequencies, so a tape
// played undecoded is brighter in its quiet windows than in its loud ones: its slope is
// negative, where natural sound, brighter when played louder, has a slope of zero or above.

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr double k_window_seconds = 0.4;
constexpr double k_silence_dbfs = -60.0;  // windows below this are pauses, not programme
constexpr double k_high_pass_hz = 2000.0;
const double k_percentiles[] = {10, 25, 50, 75, 90};
constexpr double k_two_pi = 6.283185307179586;

double dbfs(double power) {
    return power > 0.0 ? 10.0 * std::log10(power) : -200.0;
}

struct Levels {
    double whole = 0.0;                // power of the whole file
    std::vector<double> windows;       // power of each window that is not a pause
    std::vector<double> high_windows;  // the same above 2 kHz, for those windows
};

// Reads the file a window at a time; a one-pole high-pass per channel gives the part above
// 2 kHz.
bool measure(const std::string& path, Levels& levels) {
    SF_INFO info = {};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr || info.channels <= 0 || info.samplerate <= 0) {
        if (file != nullptr) sf_close(file);
        return false;
    }
    const int channels = info.channels;
    const long long window =
        std::max(1LL, static_cast<long long>(k_window_seconds * info.samplerate));
    const double pole = std::exp(-k_two_pi * k_high_pass_hz / info.samplerate);
    std::vector<double> previous_in(channels, 0.0), previous_out(channels, 0.0);
    std::vector<double> block(static_cast<std::size_t>(window) * channels);
    double total = 0.0;
    long long total_samples = 0;
    for (;;) {
        const sf_count_t got = sf_readf_double(file, block.data(), window);
        if (got <= 0) break;
        double power = 0.0, high = 0.0;
        for (sf_count_t f = 0; f < got; ++f)
            for (int c = 0; c < channels; ++c) {
                const double x = block[f * channels + c];
                const double y = pole * (previous_out[c] + x - previous_in[c]);
                previous_in[c] = x;
                previous_out[c] = y;
                power += x * x;
                high += y * y;
            }
        total += power;
        total_samples += got * channels;
        const double samples = static_cast<double>(got * channels);
        if (got == window && dbfs(power / samples) > k_silence_dbfs) {
            levels.windows.push_back(power / samples);
            levels.high_windows.push_back(high / samples);
        }
    }
    sf_close(file);
    levels.whole = total_samples > 0 ? total / static_cast<double>(total_samples) : 0.0;
    return true;
}

// The least-squares slope of (high dB - whole dB) over whole dB.
double tilt_slope(const Levels& levels) {
    const std::size_t n = levels.windows.size();
    if (n < 2) return 0.0;
    double sx = 0.0, sy = 0.0, sxx = 0.0, sxy = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double x = dbfs(levels.windows[i]);
        const double y = dbfs(levels.high_windows[i]) - x;
        sx += x;
        sy += y;
        sxx += x * x;
        sxy += x * y;
    }
    const double d = n * sxx - sx * sx;
    return d > 0.0 ? (n * sxy - sx * sy) / d : 0.0;
}

double percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    const std::size_t i =
        static_cast<std::size_t>(std::clamp(p / 100.0 * static_cast<double>(values.size() - 1), 0.0,
                                            static_cast<double>(values.size() - 1)));
    return values[i];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: varnolt_level_statistics FILE...\n");
        return 2;
    }
    std::printf("%-40s %7s", "file", "rms");
    for (double p : k_percentiles) std::printf("  p%-5.0f", p);
    for (double p : k_percentiles) std::printf(" hf-p%-3.0f", p);
    std::printf("  tilt\n");
    int failed = 0;
    for (int a = 1; a < argc; ++a) {
        Levels levels;
        if (!measure(argv[a], levels)) {
            std::fprintf(stderr, "varnolt_level_statistics: %s: cannot read\n", argv[a]);
            ++failed;
            continue;
        }
        std::printf("%-40s %7.1f", argv[a], dbfs(levels.whole));
        for (double p : k_percentiles) std::printf(" %7.1f", dbfs(percentile(levels.windows, p)));
        for (double p : k_percentiles)
            std::printf(" %7.1f", dbfs(percentile(levels.high_windows, p)));
        std::printf(" %6.2f\n", tilt_slope(levels));
    }
    return failed > 0 ? 1 : 0;
}
