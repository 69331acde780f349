#include "chain/standard_decoder.h"

#include <cmath>

#include "level/dolby_level.h"

namespace varnolt {

namespace {
constexpr double k_working_full_scale = 32768.0;
}

double standard_decoder_dolby_level() {
    return k_working_full_scale * std::pow(10.0, k_dolby_level_at_unity_dbfs / 20.0);
}

double standard_decode(StandardDecoderState& state, int channel, double x, double sample_rate) {
    // A host's rate changes only between streams: the coefficients are worked out again then.
    if (sample_rate != state.rate) {
        state.coefficients =
            dolby_b_coefficients(k_dolby_b_design, sample_rate, standard_decoder_dolby_level());
        state.rate = sample_rate;
    }
    DolbyBChannel& side = state.channel[channel];
    const double y = dolby_b_decode(state.coefficients, side, x);
    // The tape processor delivers saturated samples, so nothing here grows without bound; should
    // a state still become non-finite, the decoder starts again from rest rather than stay so.
    if (!std::isfinite(side.level) || !std::isfinite(side.slide_state)) {
        side = DolbyBChannel{};
        return 0.0;
    }
    return y;
}

}  // namespace varnolt
