#pragma once
// Text the tool prints and draws: printf-style formatting into a string, and clock times.

#include <cstdio>
#include <string>

namespace varnolt::cli {

// `format` with `values`, as snprintf would print them, however long.
template <typename... Values>
std::string formatted(const char* format, Values... values) {
    const int length = std::snprintf(nullptr, 0, format, values...);
    if (length <= 0) return std::string();
    std::string text(static_cast<std::size_t>(length), '\0');
    std::snprintf(&text[0], text.size() + 1, format, values...);
    return text;
}

// `v` with `decimals` places after the point.
std::string decimal_text(double v, int decimals);

// `v` in the fewest digits, up to six significant ("%g"): 0.1, 2.5, 300, 1e-09.
std::string short_number_text(double v);

// "m:ss", or "h:mm:ss" `with_hours`; whole seconds, nothing below 0.
std::string clock_text(double seconds, bool with_hours);

}  // namespace varnolt::cli
