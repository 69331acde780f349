#pragma once
// A display's pixels in a fixed static array: one 32-bit value per pixel (blue in bits 0-7,
// green 8-15, red 16-23), rows top to bottom without padding. Writes outside the canvas are
// dropped, so no display can write past its array whatever size scaling asks for.

#include <cstdint>

namespace varnolt {

using pixel = std::uint32_t;

namespace colour {
constexpr pixel black = 0x000000;
constexpr pixel white = 0xFFFFFF;
}  // namespace colour

class PixelCanvas {
  public:
    // `storage` holds capacity_width x capacity_height pixels; the canvas takes w x h of it,
    // clipped to that capacity.
    PixelCanvas(pixel* storage, int capacity_width, int capacity_height, int w, int h);

    int width() const { return width_; }
    int height() const { return height_; }
    const pixel* pixels() const { return pixels_; }

    void set(int row, int column, pixel value) {
        if (row >= 0 && row < height_ && column >= 0 && column < width_)
            pixels_[row * width_ + column] = value;
    }
    pixel at(int row, int column) const { return pixels_[row * width_ + column]; }
    void fill(pixel value);
    // Columns first .. last inclusive of one row.
    void row_span(int row, int first, int last, pixel value);
    // Rows first .. last inclusive of one column.
    void column_span(int column, int first, int last, pixel value);
    void frame(pixel value);  // the one-pixel outer border

  private:
    pixel* pixels_;
    int width_;
    int height_;
};

}  // namespace varnolt
