#include "dolby_b_encoder.h"

#include <cmath>

namespace varnolt_tools {

DolbyBEncoder::DolbyBEncoder(double rate, double reference_dbfs)
    : coefficients_(varnolt::dolby_b_coefficients(varnolt::k_dolby_b_design, rate,
                                                  std::pow(10.0, reference_dbfs / 20))) {}

double DolbyBEncoder::process(double x) {
    if (!std::isfinite(x)) return 0;
    return varnolt::dolby_b_encode(coefficients_, channel_, x);
}

void DolbyBEncoder::process(float* samples, std::size_t count, std::size_t stride) {
    for (std::size_t n = 0; n < count; ++n) {
        float& x = samples[n * stride];
        x = static_cast<float>(process(static_cast<double>(x)));
    }
}

}  // namespace varnolt_tools
