#pragma once
// The report's picture: 32-bit pixels in the displays' layout (blue in bits 0-7, green 8-15,
// red 16-23), rows top to bottom.

#include <cstdint>
#include <vector>

namespace varnolt::cli {

using rgb = std::uint32_t;

struct Image {
    int width = 0;
    int height = 0;
    std::vector<rgb> pixels;

    Image() = default;
    Image(int w, int h, rgb background) : width(w), height(h), pixels(w * h, background) {}

    bool inside(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
    rgb at(int x, int y) const { return pixels[y * width + x]; }
    void set(int x, int y, rgb c) {
        if (inside(x, y)) pixels[y * width + x] = c;
    }
    // Mixes c over the pixel with coverage 0 .. 255.
    void blend(int x, int y, rgb c, int coverage);
    void fill(int x, int y, int w, int h, rgb c);
    void outline(int x, int y, int w, int h, rgb c);
    // A line with one pixel per step along its longer axis.
    void line(int x0, int y0, int x1, int y1, rgb c);
    // Copies the w x h block at (sx, sy) of `from` to (x, y), every pixel as a square of
    // `zoom` x `zoom` pixels.
    void copy(const Image& from, int sx, int sy, int w, int h, int x, int y, int zoom = 1);
    // Keeps the top `h` rows (no more than there are).
    void crop_height(int h);
};

}  // namespace varnolt::cli
