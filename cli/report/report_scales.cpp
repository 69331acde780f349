#include "report_scales.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "processors/processor.h"
#include "processors/tape_processor.h"
#include "text_format.h"

namespace varnolt::cli {
namespace {

constexpr double k_minutes_from = 120.0;  // seconds: longer files are labelled in minutes
constexpr double k_hours_from = 3 * 3600.0;
constexpr double k_most_tick_steps = 7.0;

// A step of whole clock units: 10 s to 30 min below three hours, whole hours above.
double clock_step(double span) {
    const double raw = span / 5.0;
    for (double s : {10.0, 15.0, 30.0, 60.0, 120.0, 300.0, 600.0, 900.0, 1200.0, 1800.0, 3600.0})
        if (s >= raw) return s;
    return 3600.0 * std::ceil(raw / 3600.0);
}

}  // namespace

double tick_step(double span) {
    const double magnitude = std::pow(10.0, std::floor(std::log10(span / 10.0)));
    for (double m : {1.0, 2.0, 5.0, 10.0, 20.0, 50.0})
        if (span / (m * magnitude) <= k_most_tick_steps) return m * magnitude;
    return 100.0 * magnitude;
}

int meter_fill_end(int width, double peak) {
    // draw_bar fills columns 2 .. n - 1 between its two-pixel bevels.
    if (std::isnan(peak)) peak = 0.0;
    const double scaled = std::clamp((width - 3) * peak - 0.025, -1.0, static_cast<double>(width));
    const int n = std::min(static_cast<int>(scaled) + 2, width - 2);
    return n < 3 ? 2 : n;
}

std::vector<double> meter_marks_db() {
    return {-20.0, -10.0, -6.0, -3.0, 0.0};
}

std::vector<Tick> time_ticks(double seconds) {
    const double duration = std::max(seconds, 1e-9);
    std::vector<Tick> ticks;
    if (duration <= k_minutes_from) {
        const double step = tick_step(duration);
        // Counted, not summed, so a long row of steps does not drift past the last tick.
        for (int i = 0; i * step <= duration + 1e-9; ++i)
            ticks.push_back({i * step, formatted(step < 1 ? "%.1f s" : "%.0f s", i * step)});
        return ticks;
    }
    const double step = clock_step(duration);
    const bool hours = duration >= k_hours_from;
    for (int i = 0; i * step <= duration + 1e-9; ++i)
        ticks.push_back({i * step, clock_text(i * step, hours)});
    return ticks;
}

std::string duration_text(double seconds) {
    if (seconds <= k_minutes_from) return formatted("%.1f s", seconds);
    return clock_text(seconds, seconds >= k_hours_from) + formatted(" (%.1f s)", seconds);
}

double band_centre_hz(int band, double sample_rate) {
    // The tape processor's band coordinate of bin k is 9 ln k / ln(N/2); band f peaks at
    // coordinate f + 1.
    const double bin = std::pow(static_cast<double>(k_half_bins), (band + 1) / 9.0);
    return bin * sample_rate / k_block_frames;
}

std::string hz_text(double hz) {
    if (hz < 1000.0) return formatted("%.0f", hz);
    const double kilohertz = std::round(hz / 100.0) / 10.0;
    const bool whole = kilohertz >= 10.0 || kilohertz == std::floor(kilohertz);
    return formatted(whole ? "%.0fk" : "%.1fk", kilohertz);
}

}  // namespace varnolt::cli
