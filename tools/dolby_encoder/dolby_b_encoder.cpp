#include "dolby_b_encoder.h"

#include <algorithm>
#include <cmath>

namespace varnolt_tools {

namespace {
constexpr double k_pi = 3.14159265358979323846;

double db_to_amplitude(double db) {
    return std::pow(10.0, db / 20);
}

double smoothing(double seconds, double rate) {
    return 1 - std::exp(-1 / (seconds * rate));
}
}  // namespace

DolbyBEncoder::DolbyBEncoder(double rate, double reference_dbfs)
    : rest_k_(std::tan(k_pi * dolby_b_constants::rest_corner_hz / rate)),
      side_gain_(db_to_amplitude(dolby_b_constants::max_lift_db) - 1),
      reference_(db_to_amplitude(reference_dbfs)),
      threshold_(db_to_amplitude(dolby_b_constants::threshold_db)),
      attack_(smoothing(dolby_b_constants::attack_seconds, rate)),
      decay_(smoothing(dolby_b_constants::decay_seconds, rate)),
      corner_k_(rest_k_) {}

double DolbyBEncoder::process(double x) {
    if (!std::isfinite(x)) return 0;
    const double s = high_pass(x, rest_k_, rest_state_);
    const double square = s * s;
    power_ += (square - power_) * (square > power_ ? attack_ : decay_);
    const double level = std::sqrt(2 * power_) / reference_;
    corner_k_ = rest_k_ * std::max(1.0, level / threshold_);
    return x + side_gain_ * high_pass(x, corner_k_, side_state_);
}

void DolbyBEncoder::process(float* samples, std::size_t count, std::size_t stride) {
    for (std::size_t n = 0; n < count; ++n) {
        float& x = samples[n * stride];
        x = static_cast<float>(process(static_cast<double>(x)));
    }
}

double DolbyBEncoder::lift_db(double f_hz, double rate, double corner_k) {
    const double w = std::tan(k_pi * f_hz / rate);
    const double top = db_to_amplitude(dolby_b_constants::max_lift_db);  // 1 + g
    const double k2 = corner_k * corner_k;
    return 10 * std::log10((k2 + top * top * w * w) / (k2 + w * w));
}

}  // namespace varnolt_tools
