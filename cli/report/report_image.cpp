#include "report_image.h"

#include <algorithm>
#include <cstdlib>

namespace varnolt::cli {

void Image::blend(int x, int y, rgb c, int coverage) {
    if (!inside(x, y) || coverage <= 0) return;
    const int a = std::min(coverage, 255);
    const rgb old = at(x, y);
    rgb mixed = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const int o = (old >> shift) & 0xFF, n = (c >> shift) & 0xFF;
        mixed |= static_cast<rgb>((o * (255 - a) + n * a + 127) / 255) << shift;
    }
    set(x, y, mixed);
}

void Image::fill(int x, int y, int w, int h, rgb c) {
    for (int r = y; r < y + h; ++r)
        for (int col = x; col < x + w; ++col) set(col, r, c);
}

void Image::outline(int x, int y, int w, int h, rgb c) {
    fill(x, y, w, 1, c);
    fill(x, y + h - 1, w, 1, c);
    fill(x, y, 1, h, c);
    fill(x + w - 1, y, 1, h, c);
}

void Image::line(int x0, int y0, int x1, int y1, rgb c) {
    const int steps = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
    if (steps == 0) {
        set(x0, y0, c);
        return;
    }
    for (int i = 0; i <= steps; ++i) set(x0 + (x1 - x0) * i / steps, y0 + (y1 - y0) * i / steps, c);
}

void Image::copy(const Image& from, int sx, int sy, int w, int h, int x, int y, int zoom) {
    for (int r = 0; r < h * zoom; ++r)
        for (int c = 0; c < w * zoom; ++c)
            if (from.inside(sx + c / zoom, sy + r / zoom))
                set(x + c, y + r, from.at(sx + c / zoom, sy + r / zoom));
}

void Image::crop_height(int h) {
    height = std::clamp(h, 0, height);
    pixels.resize(static_cast<std::size_t>(width) * height);
}

}  // namespace varnolt::cli
