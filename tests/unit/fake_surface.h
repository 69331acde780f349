#pragma once
// A display surface that keeps every blit, for checking the displays pixel by pixel.

#include <vector>

#include "ui/display_surface.h"

namespace varnolt::testing {

struct Blit {
    int x, y, width, height;
    std::vector<pixel> pixels;
    pixel at(int row, int column) const { return pixels[row * width + column]; }
};

class FakeSurface : public DisplaySurface {
  public:
    // Dialog base units in pixels; 6 x 13 is the size the design rectangles are drawn for.
    explicit FakeSurface(int base_x = 6, int base_y = 13, int depth = 32)
        : base_x_(base_x), base_y_(base_y), depth_(depth) {}
    int colour_depth() override { return depth_; }
    // Rounded like the system's conversion (MulDiv).
    void map_dialog_rect(int& left, int& top, int& right, int& bottom) override {
        left = (left * base_x_ + 2) / 4;
        right = (right * base_x_ + 2) / 4;
        top = (top * base_y_ + 4) / 8;
        bottom = (bottom * base_y_ + 4) / 8;
    }
    void blit(const PixelCanvas& canvas, int x, int y) override {
        blits.push_back({x, y, canvas.width(), canvas.height(),
                         std::vector<pixel>(canvas.pixels(),
                                            canvas.pixels() + canvas.width() * canvas.height())});
    }
    const Blit* at(int x, int y) const {
        for (auto it = blits.rbegin(); it != blits.rend(); ++it)
            if (it->x == x && it->y == y) return &*it;
        return nullptr;
    }
    std::vector<Blit> blits;

  private:
    int base_x_, base_y_, depth_;
};

}  // namespace varnolt::testing
