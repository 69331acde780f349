// Raises a recording's rate by a whole factor (22.05 to 44.1 kHz for the speech synthesiser's
// output and the game soundtrack's MP3s): each new sample is the windowed-sinc interpolation of
// the 2 * k_upsample_half_taps nearest old ones. The sinc's cut-off sits at 0.9 of the old
// Nyquist frequency, so that the images above it are held down by the window rather than left in
// the treble the corpus is about.
#pragma once

#include "sound_file.h"

namespace varnolt_tools {

constexpr int k_upsample_half_taps = 24;
constexpr double k_upsample_cutoff = 0.9;  // of the old Nyquist frequency

// factor >= 1; returns the recording at rate * factor, factor times as many frames.
Sound upsample(const Sound& in, int factor);

}  // namespace varnolt_tools
