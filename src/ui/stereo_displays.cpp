// The stereo processor's displays: the azimuth history and the FM filter's noise floor.

#include <algorithm>
#include <cmath>

#include "chain/instance.h"
#include "processors/sort_ascending.h"
#include "processors/stereo.h"
#include "settings/parameters.h"
#include "ui/display_math.h"
#include "ui/displays.h"

namespace varnolt {
namespace {

using namespace display_pixels;

constexpr double k_excess_scale = 0.03;  // of the display width per unit of stereo excess

namespace display_colour {
constexpr pixel ground = 0xF0F0F0;
constexpr pixel slope = 0x6060FF;
constexpr pixel estimate = 0xFF0000;
constexpr pixel excess = 0xE0C000;
constexpr pixel noise_level = 0x0000FF;
constexpr pixel history_floor = 0x009000;
constexpr pixel held_level = 0xFF4040;
constexpr pixel threshold = 0xFF0000;
constexpr pixel beyond_noise = 0xC0C0C0;
}  // namespace display_colour

}  // namespace

void draw_azimuth_display(Displays& displays, DisplaySurface& surface, bool fresh) {
    const Rect rect = scale_rect(surface, display_rect::azimuth);
    PixelCanvas canvas(displays.pixels.azimuth, k_azimuth_width, k_azimuth_height, rect.width,
                       rect.height);
    const int w = canvas.width(), h = canvas.height();
    const int centre = w / 2;
    canvas.fill(display_colour::ground);
    canvas.frame(colour::black);
    canvas.column_span(centre, 1, h - 2, colour::black);

    const StereoMonitor& monitor = displays.instance.stereo_state.monitor;
    AzimuthEntry* history = displays.state.azimuth_history;
    if (fresh) {
        std::copy_backward(history, history + k_azimuth_history - 1, history + k_azimuth_history);
        history[0] = {monitor.slope_estimate, monitor.estimate_accepted, monitor.slope};
    }
    const double limit = monitor.slope_limit;
    if (limit > 0.0) {
        for (int r = 1; r <= h - 2 && r < k_azimuth_history; ++r) {
            const int x1 = limited(history[r - 1].slope / limit * centre + centre, 1, w - 1);
            const int x2 = limited(history[r].slope / limit * centre + centre, 1, w - 1);
            canvas.row_span(r, std::min(x1, x2), std::max(x1, x2), display_colour::slope);
            if (history[r - 1].accepted) {
                const int x =
                    limited(history[r - 1].estimate / limit * centre - 0.5 + centre, 1, w - 2);
                canvas.set(r, x, display_colour::estimate);
                canvas.set(r, x + 1, display_colour::estimate);
            }
        }
    }
    surface.blit(canvas, rect.x, rect.y);
}

void draw_noise_floor_display(Displays& displays, DisplaySurface& surface) {
    const Rect rect = scale_rect(surface, display_rect::noise_floor);
    PixelCanvas canvas(displays.pixels.floor, k_floor_width, k_floor_height, rect.width,
                       rect.height);
    const int w = canvas.width(), h = canvas.height();
    const int rows = h - 2, last_column = w - 2;
    canvas.frame(colour::black);
    const StereoMonitor& monitor = displays.instance.stereo_state.monitor;
    const int half = k_stereo_bins;
    double* const excess = displays.excess_sorted;
    for (int i = 0; i < half; ++i) excess[i] = monitor.excess[i];
    sort_ascending(excess, half);
    const double pixels_per_unit = k_excess_scale * w;
    auto marker_column = [&](double v) {
        return limited(v * pixels_per_unit + 1.0, 1, last_column);
    };

    // The sorted entry the noise level is taken from; at 0 % it lies past the last entry, and
    // no row is marked.
    const double quantile =
        (1.0 - displays.instance.live.values.ignore_lowest_percentage * 0.01) * half;
    const int quantile_entry = quantile >= 0.0 && quantile < half ? static_cast<int>(quantile) : -1;
    int line_row = 0;
    for (int r = 1; r <= rows; ++r) {
        canvas.row_span(r, 1, last_column, display_colour::ground);
        const int first = (r - 1) * half / rows, last = r * half / rows - 1;
        if (quantile_entry >= first && quantile_entry <= last) line_row = r;
        double m = 0.0;
        for (int i = first; i <= last; ++i) m = std::max(m, excess[i]);
        const int n = limited(m * pixels_per_unit, 0, w - 1);
        canvas.row_span(r, 1, n - 1, display_colour::excess);
    }
    const struct {
        double value;
        pixel colour;
    } markers[] = {{monitor.noise_level, display_colour::noise_level},
                   {monitor.history_floor, display_colour::history_floor},
                   {monitor.held_level, display_colour::held_level},
                   {monitor.threshold, display_colour::threshold}};
    for (const auto& marker : markers)
        canvas.column_span(marker_column(marker.value), 1, rows, marker.colour);
    const int threshold_column = marker_column(markers[3].value);
    if (threshold_column < w - 1)
        canvas.column_span(threshold_column + 1, 1, rows, display_colour::threshold);

    // The row holding that entry, as a line.
    if (line_row > 0) {
        const int noise_column = marker_column(markers[0].value);
        canvas.row_span(line_row, 1, noise_column - 1, colour::black);
        canvas.row_span(line_row, noise_column, last_column, display_colour::beyond_noise);
    }
    surface.blit(canvas, rect.x, rect.y);
}

}  // namespace varnolt
