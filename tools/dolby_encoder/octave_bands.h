// How far a restored recording's treble is from the clean recording's, in the octave bands of
// 1, 2, 4, 8 and 16 kHz (each from centre / sqrt 2 to centre * sqrt 2, the 16 kHz band cut at the
// Nyquist frequency).
//
// Both recordings are cut into windows of the power of two of frames nearest 100 ms (4096 at
// 44.1 kHz), Hann-weighted, half a window apart, and transformed. For each window w, channel c and
// band b the sums over the band's bins are
//
//     C = sum |X_clean|^2      R = sum |X_restored|^2      D = sum |X_restored - X_clean|^2
//
// and the two measures are
//
//     band error = 10 log10(sum over w, c, b of D / sum over w, c, b of C)       [dB]
//     level difference = mean over the cells (w, c, b) of |10 log10(R / C)|       [dB]
//
// The band error counts level and waveform (a restored band at the right level but a different
// phase still errs); it is 0 dB for a silent restoration and -inf for a perfect one. The level
// difference counts only the band levels, in the cells whose clean level is at least
// k_level_floor_dbfs (a full-scale sine in the band being 0 dB), so that silence between phrases
// does not decide it. The recordings must be lined up sample for sample (the tool `varnolt` lines
// its output up with its input).
#pragma once

#include <cstddef>

#include "sound_file.h"

namespace varnolt_tools {

constexpr int k_octave_band_count = 5;
constexpr double k_lowest_band_hz = 1000;
constexpr double k_level_floor_dbfs = -90;

struct band_comparison {
    double band_error_db = 0;
    double level_difference_db = 0;
    std::size_t windows = 0;      // per channel
    std::size_t level_cells = 0;  // cells above the floor, in the level difference
};

// Compares the frames [from_frame, to_frame) of two recordings of the same rate and channels
// (to_frame is cut to the shorter of the two). False with a message when they cannot be compared
// or the clean recording has no energy in the bands there.
bool compare_octave_bands(const Sound& clean, const Sound& restored, std::size_t from_frame,
                          std::size_t to_frame, band_comparison& result, const char*& error);

}  // namespace varnolt_tools
