// The Dolby B encoder of the tests and the corpus: the standard decoder's own network
// (src/processors/dolby_b_network.h) run forwards, so that what it encodes the standard decoder
// undoes exactly. Not shipped in the plug-in. Its steady response meets the published encode test
// points within 0.4 dB at 44.1, 48 and 96 kHz (docs/fidelity.md).
//
// Input samples must be finite: a NaN or an infinity is encoded as silence and does not enter the
// side path, whose state would otherwise stay poisoned for the rest of the file.
#pragma once

#include <cstddef>

#include "processors/dolby_b_network.h"

namespace varnolt_tools {

struct dolby_b_constants {
    static constexpr double default_reference_dbfs = -15;  // Dolby level, dB re full scale
    static constexpr double min_rate = varnolt::k_dolby_b_lowest_rate;
};

// One channel. Any thread, one at a time.
class DolbyBEncoder {
  public:
    // rate >= dolby_b_constants::min_rate; reference_dbfs is Dolby level in dB re full scale
    // (a sine of amplitude 10^(reference_dbfs / 20)).
    DolbyBEncoder(double rate, double reference_dbfs);

    double process(double x);
    void process(float* samples, std::size_t count, std::size_t stride);

  private:
    varnolt::DolbyBCoefficients coefficients_;
    varnolt::DolbyBChannel channel_;
};

}  // namespace varnolt_tools
