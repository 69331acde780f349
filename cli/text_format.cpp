#include "text_format.h"

#include <algorithm>
#include <cmath>

namespace varnolt::cli {

std::string decimal_text(double v, int decimals) {
    return formatted("%.*f", decimals, v);
}

std::string short_number_text(double v) {
    return formatted("%g", v);
}

std::string clock_text(double seconds, bool with_hours) {
    const long long total = std::llround(std::max(0.0, std::isfinite(seconds) ? seconds : 0.0));
    const long long s = total % 60, m = total / 60;
    if (with_hours) return formatted("%lld:%02lld:%02lld", m / 60, m % 60, s);
    return formatted("%lld:%02lld", m, s);
}

}  // namespace varnolt::cli
