#include <algorithm>
#include <cmath>

#include "ui/displays.h"

namespace varnolt {
namespace {

using namespace display_pixels;

constexpr pixel k_bevel_light = 0x808080;
constexpr pixel k_bevel_dark = 0x606060;
constexpr pixel k_bevel_corner = 0xC0C0C0;

pixel ramp_entry(const Displays& displays, int ramp, int entry) {
    // The table holds five ramps; a larger number takes the last rather than reading past it.
    ramp = std::clamp(ramp, 0, k_colour_ramp_rows - 1);
    entry = std::clamp(entry, 0, k_colour_ramp_entries - 1);
    return displays.colour_ramps[ramp * k_colour_ramp_entries + entry];
}

void build_bevel(PixelCanvas& canvas) {
    const int w = canvas.width(), h = canvas.height();
    canvas.column_span(0, 1, h - 2, k_bevel_light);
    canvas.column_span(1, 1, h - 2, k_bevel_dark);
    canvas.column_span(w - 2, 1, h - 2, k_bevel_dark);
    canvas.column_span(w - 1, 1, h - 2, colour::white);
    canvas.row_span(0, 1, w - 2, k_bevel_light);
    canvas.row_span(1, 1, w - 2, k_bevel_dark);
    canvas.row_span(h - 2, 1, w - 2, k_bevel_dark);
    canvas.row_span(h - 1, 1, w - 2, colour::white);
    const int corners[][2] = {{0, 0},     {0, w - 1}, {h - 1, 0},    {h - 1, w - 1},
                              {0, w - 2}, {h - 2, 0}, {h - 2, w - 2}};
    for (const auto& rc : corners) canvas.set(rc[0], rc[1], k_bevel_corner);
}

// Filled length: 2 (empty) up to size - 2 (full).
int fill_end(int size, double v) {
    if (std::isnan(v)) v = 0.0;
    double scaled = (size - 3) * v - 0.025;
    if (std::isnan(scaled)) scaled = 0.0;  // an infinite v on a bar with no room: 0 * inf
    scaled = std::clamp(scaled, -1.0, static_cast<double>(size));
    int n = static_cast<int>(scaled) + 2;
    n = std::min(n, size - 2);
    return n < 3 ? 2 : n;
}

}  // namespace

void draw_bar(Displays& displays, DisplaySurface& surface, double v, Rect rect, bool vertical,
              int colour) {
    PixelCanvas canvas(displays.pixels.bar, k_bar_width, k_bar_height, rect.width, rect.height);
    const int w = canvas.width(), h = canvas.height();
    if (w != displays.state.bevel_width || h != displays.state.bevel_height) {
        build_bevel(canvas);
        displays.state.bevel_width = w;
        displays.state.bevel_height = h;
    }
    if (!vertical) {
        const int n = fill_end(w, v);
        for (int c = 2; c <= w - 3; ++c)
            canvas.set(2, c, c < n ? ramp_entry(displays, colour, c * 255 / w) : colour::white);
        if (h > 5)
            for (int r = 3; r <= h - 3; ++r)
                for (int c = 2; c <= w - 3; ++c) canvas.set(r, c, canvas.at(2, c));
    } else if (w >= 5) {
        const int n = fill_end(h, v);
        for (int r = 2; r <= h - 3; ++r) {
            pixel value = colour::white;
            if (r >= n)
                value = colour < k_first_literal_colour ? ramp_entry(displays, colour, r * 255 / h)
                                                        : static_cast<pixel>(colour);
            canvas.row_span(r, 2, w - 3, value);
        }
    }
    surface.blit(canvas, rect.x, rect.y);
}

}  // namespace varnolt
