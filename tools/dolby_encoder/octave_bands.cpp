#include "octave_bands.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <vector>

namespace varnolt_tools {

namespace {

constexpr double k_pi = 3.14159265358979323846;
constexpr double k_window_seconds = 0.1;

using complex = std::complex<double>;

// In-place radix-2 transform; size a power of two.
void fft(std::vector<complex>& x) {
    const std::size_t n = x.size();
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(x[i], x[j]);
    }
    for (std::size_t len = 2; len <= n; len <<= 1) {
        const complex step = std::polar(1.0, -2 * k_pi / static_cast<double>(len));
        for (std::size_t i = 0; i < n; i += len) {
            complex w = 1;
            for (std::size_t k = 0; k < len / 2; ++k) {
                const complex a = x[i + k], b = x[i + k + len / 2] * w;
                x[i + k] = a + b;
                x[i + k + len / 2] = a - b;
                w *= step;
            }
        }
    }
}

std::size_t window_frames(int rate) {
    const double wanted = std::log2(k_window_seconds * rate);
    return std::size_t{1} << static_cast<int>(std::lround(wanted));
}

}  // namespace

bool compare_octave_bands(const Sound& clean, const Sound& restored, std::size_t from_frame,
                          std::size_t to_frame, band_comparison& result, const char*& error) {
    if (clean.rate != restored.rate || clean.channels != restored.channels) {
        error = "the two recordings differ in rate or channels";
        return false;
    }
    if (clean.rate < 4 * k_lowest_band_hz) {
        error = "the rate is too low for the 1 kHz band";
        return false;
    }
    const std::size_t size = window_frames(clean.rate);
    const std::size_t hop = size / 2;
    to_frame = std::min({to_frame, clean.frames(), restored.frames()});
    if (to_frame < from_frame + size) {
        error = "the stretch compared is shorter than one window";
        return false;
    }

    std::vector<double> hann(size);
    double hann_power = 0;
    for (std::size_t i = 0; i < size; ++i) {
        hann[i] = 0.5 - 0.5 * std::cos(2 * k_pi * static_cast<double>(i) / size);
        hann_power += hann[i] * hann[i];
    }
    // A full-scale sine puts about size * hann_power / 4 into the positive bins around it.
    const double full_scale_energy = static_cast<double>(size) * hann_power / 4;
    const double floor_energy = full_scale_energy * std::pow(10.0, k_level_floor_dbfs / 10);

    std::size_t first_bin[k_octave_band_count], end_bin[k_octave_band_count];
    const double bin_hz = static_cast<double>(clean.rate) / size;
    for (int b = 0; b < k_octave_band_count; ++b) {
        const double centre = k_lowest_band_hz * std::pow(2.0, b);
        first_bin[b] = static_cast<std::size_t>(std::ceil(centre / std::sqrt(2.0) / bin_hz));
        end_bin[b] = std::min(
            size / 2, static_cast<std::size_t>(std::ceil(centre * std::sqrt(2.0) / bin_hz)));
    }

    double sum_clean = 0, sum_difference = 0, sum_level = 0;
    result = band_comparison{};
    std::vector<complex> a(size), r(size);
    for (std::size_t start = from_frame; start + size <= to_frame; start += hop) {
        ++result.windows;
        for (int c = 0; c < clean.channels; ++c) {
            for (std::size_t i = 0; i < size; ++i) {
                const std::size_t at = (start + i) * clean.channels + c;
                a[i] = clean.samples[at] * hann[i];
                r[i] = restored.samples[at] * hann[i];
            }
            fft(a);
            fft(r);
            for (int b = 0; b < k_octave_band_count; ++b) {
                double e_clean = 0, e_restored = 0, e_difference = 0;
                for (std::size_t k = first_bin[b]; k < end_bin[b]; ++k) {
                    e_clean += std::norm(a[k]);
                    e_restored += std::norm(r[k]);
                    e_difference += std::norm(r[k] - a[k]);
                }
                sum_clean += e_clean;
                sum_difference += e_difference;
                if (e_clean >= floor_energy) {
                    // A silent restored band counts as 200 dB down rather than as infinity.
                    const double restored_or_floor = std::max(e_restored, e_clean * 1e-20);
                    sum_level += std::fabs(10 * std::log10(restored_or_floor / e_clean));
                    ++result.level_cells;
                }
            }
        }
    }
    if (!(sum_clean > 0) || result.level_cells == 0) {
        error = "the clean recording has no energy in the 1-16 kHz bands there";
        return false;
    }
    result.band_error_db = 10 * std::log10(sum_difference / sum_clean);
    result.level_difference_db = sum_level / static_cast<double>(result.level_cells);
    return true;
}

}  // namespace varnolt_tools
