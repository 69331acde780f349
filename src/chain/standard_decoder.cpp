#include "chain/standard_decoder.h"

#include <cmath>

#include "level/dolby_level.h"

namespace varnolt {

namespace {
constexpr double k_working_full_scale = 32768.0;

bool finite_state(const DolbyBChannel& side) {
    return std::isfinite(side.level) && std::isfinite(side.slide_state) &&
           std::isfinite(side.control_state);
}

// The channel's state in the units of samples divided by `volume` rather than by `was`. Every
// part of it (the two filters' integrators and the control level) is linear in the samples.
void rescale(DolbyBChannel& side, double was, double volume) {
    const double factor = was / volume;
    side.slide_state *= factor;
    side.control_state *= factor;
    side.level *= factor;
    // A change from a hand-edited 1e300 to 1e-9 overflows: the decoder starts from rest.
    if (!std::isfinite(factor) || !finite_state(side)) side = DolbyBChannel{};
}

}  // namespace

double standard_decoder_dolby_level() {
    return k_working_full_scale * std::pow(10.0, k_dolby_level_at_unity_dbfs / 20.0);
}

double standard_decode(StandardDecoderState& state, int channel, double x, double volume,
                       double sample_rate) {
    // A host's rate changes only between streams: the coefficients are worked out again then.
    if (sample_rate != state.rate) {
        state.coefficients =
            dolby_b_coefficients(k_dolby_b_design, sample_rate, standard_decoder_dolby_level());
        state.rate = sample_rate;
    }
    DolbyBChannel& side = state.channel[channel];
    double& was = state.volume[channel];
    if (volume != was && was != 0.0) rescale(side, was, volume);
    was = volume;
    const double y = dolby_b_decode(state.coefficients, side, x);
    // The tape processor delivers saturated samples, so nothing here grows without bound; should
    // a state still become non-finite, the decoder starts again from rest rather than stay so.
    if (!finite_state(side)) {
        side = DolbyBChannel{};
        return 0.0;
    }
    return y;
}

void rest_standard_decoder(StandardDecoderState& state) {
    for (DolbyBChannel& side : state.channel) side = DolbyBChannel{};
}

}  // namespace varnolt
