#pragma once
// The long-term spectrum of a recording for the report: the power of each bin averaged over the
// whole file and its first two channels.

#include <vector>

#include "audio_file.h"

namespace varnolt::cli {

struct Spectrum {
    double bin_hz = 0.0;
    // Mean power per bin, 0 .. N/2; 1.0 is a full-scale sine in that bin.
    std::vector<double> power;
};

// Hann-windowed blocks of 2048 frames at half overlap, through the plug-in's own transform.
Spectrum average_spectrum(const AudioFile& audio);

}  // namespace varnolt::cli
