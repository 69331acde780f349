#include "ui/pixel_canvas.h"

#include <algorithm>

namespace varnolt {

PixelCanvas::PixelCanvas(pixel* storage, int capacity_width, int capacity_height, int w, int h)
    : pixels_(storage),
      width_(std::clamp(w, 0, capacity_width)),
      height_(std::clamp(h, 0, capacity_height)) {}

void PixelCanvas::fill(pixel value) {
    std::fill(pixels_, pixels_ + width_ * height_, value);
}

void PixelCanvas::row_span(int row, int first, int last, pixel value) {
    for (int c = first; c <= last; ++c) set(row, c, value);
}

void PixelCanvas::column_span(int column, int first, int last, pixel value) {
    for (int r = first; r <= last; ++r) set(r, column, value);
}

void PixelCanvas::frame(pixel value) {
    row_span(0, 0, width_ - 1, value);
    row_span(height_ - 1, 0, width_ - 1, value);
    column_span(0, 0, height_ - 1, value);
    column_span(width_ - 1, 0, height_ - 1, value);
}

}  // namespace varnolt
