#include "settings/number_format.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>

namespace varnolt {
namespace {

constexpr double k_fraction_scale = 1e9;  // nine decimals

bool is_c_space(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Skips leading white space and one optional sign, as the C runtime's conversions do.
const char* skip_space_and_sign(const char* p, bool& negative) {
    while (is_c_space(*p)) ++p;
    negative = *p == '-';
    if (*p == '+' || *p == '-') ++p;
    return p;
}

// from_chars refuses what overflows or underflows a double; atof gives infinity and zero there.
// Tell the two apart by the sign of the decimal exponent.
double out_of_range_value(const char* p) {
    const char* e = p;
    while (*e && *e != 'e' && *e != 'E') ++e;
    if (!*e) return std::numeric_limits<double>::infinity();  // a mantissa too long to hold
    return e[1] == '-' ? 0.0 : std::numeric_limits<double>::infinity();
}

}  // namespace

std::string format_number(double value) {
    if (std::isnan(value)) value = 0.0;
    const char* sign = value < 0 ? "-" : "";
    double magnitude = std::fabs(value);
    const double int_limit = static_cast<double>(INT_MAX);
    double whole = std::trunc(std::fmin(magnitude, int_limit));
    double fraction = (magnitude - whole) * k_fraction_scale + 0.5;
    fraction = std::fmin(std::fmax(fraction, 0.0), k_fraction_scale);
    int integer_part = static_cast<int>(whole);
    int fraction_part = static_cast<int>(fraction);
    if (fraction_part >= 1000000000) {
        // 0.9999999999 is written as 1, not as 0: carry the rounded fraction.
        fraction_part = 0;
        if (integer_part < INT_MAX) ++integer_part;
    }
    char text[k_number_text_capacity];
    std::snprintf(text, sizeof text, "%s%d.%09d", sign, integer_part, fraction_part);
    std::size_t length = std::strlen(text);
    while (length > 0 && text[length - 1] == '0') --length;
    if (length > 0 && text[length - 1] == '.') --length;
    return std::string(text, length);
}

double parse_real(const char* text) {
    bool negative = false;
    const char* p = skip_space_and_sign(text, negative);
    // from_chars accepts no sign of its own after ours, so "--1" and "+-1" read as 0 like atof.
    if (*p == '+' || *p == '-') return 0.0;
    double value = 0.0;
    const char* end = p + std::strlen(p);
    auto result = std::from_chars(p, end, value, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
        value = out_of_range_value(p);
    } else if (result.ec != std::errc()) {
        value = 0.0;
    }
    return negative ? -value : value;
}

int parse_int(const char* text) {
    bool negative = false;
    const char* p = skip_space_and_sign(text, negative);
    std::int64_t magnitude = 0;
    const std::int64_t limit = static_cast<std::int64_t>(INT_MAX) + 1;
    while (*p >= '0' && *p <= '9') {
        magnitude = magnitude * 10 + (*p - '0');
        if (magnitude > limit) magnitude = limit;
        ++p;
    }
    std::int64_t value = negative ? -magnitude : magnitude;
    if (value > INT_MAX) value = INT_MAX;
    if (value < INT_MIN) value = INT_MIN;
    return static_cast<int>(value);
}

}  // namespace varnolt
