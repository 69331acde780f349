#pragma once
// The long-term spectrum of a recording for the report: the power of each bin averaged over the
// whole file and its first two channels, gathered as the samples stream past.

#include <cstdint>
#include <vector>

#include "processors/fft.h"

namespace varnolt::cli {

struct Spectrum {
    double bin_hz = 0.0;
    // Mean power per bin, 0 .. N/2; 1.0 is a full-scale sine in that bin.
    std::vector<double> power;
};

// Hann-windowed blocks of 2048 frames at half overlap, through the plug-in's own transform.
// A long file is sampled at a wider spacing (every few blocks), so the work stays bounded and
// the memory never grows with the file.
class SpectrumAccumulator {
  public:
    // `expected_frames` sets the spacing; the file may turn out shorter or longer.
    SpectrumAccumulator(int channels, int sample_rate, long long expected_frames);
    void add(const double* samples, long long frames);
    Spectrum result() const;

  private:
    void transform_window();

    int channels_;
    double bin_hz_;
    long long stride_;                  // every stride-th block is transformed
    long long block_ = 0;               // blocks completed so far
    long long used_ = 0;                // blocks transformed
    int filled_ = 0;                    // frames in the window
    std::vector<double> left_, right_;  // the window's frames, full scale 1.0
    std::vector<double> hann_;
    std::vector<double> power_;
    std::vector<complex_lr> data_;
};

}  // namespace varnolt::cli
