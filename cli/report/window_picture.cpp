#include "window_picture.h"

#include <algorithm>

namespace varnolt::cli {
namespace {

// Large enough for every display rectangle at the design size.
constexpr int k_client_width = 830;
constexpr int k_client_height = 640;
constexpr rgb k_dialog_face = 0xF0F0F0;
constexpr int k_base_x = 6;
constexpr int k_base_y = 13;

// Dialog units to pixels, rounded as the system's conversion rounds.
int scaled(int v, int base, int units) {
    return (v * base + units / 2) / units;
}

}  // namespace

WindowPicture::WindowPicture() : image_(k_client_width, k_client_height, k_dialog_face) {}

void WindowPicture::map_dialog_rect(int& left, int& top, int& right, int& bottom) {
    left = scaled(left, k_base_x, 4);
    right = scaled(right, k_base_x, 4);
    top = scaled(top, k_base_y, 8);
    bottom = scaled(bottom, k_base_y, 8);
}

void WindowPicture::blit(const PixelCanvas& canvas, int x, int y) {
    // The displays redraw at the playback pace all through a file: clipped once, copied a row at
    // a time (the canvas and the picture lay their pixels out alike).
    const int first_column = std::max(0, -x);
    const int last_column = std::min(canvas.width(), image_.width - x);
    const int first_row = std::max(0, -y);
    const int last_row = std::min(canvas.height(), image_.height - y);
    if (first_column >= last_column) return;
    for (int r = first_row; r < last_row; ++r) {
        const pixel* from = canvas.pixels() + r * canvas.width();
        std::copy(from + first_column, from + last_column,
                  image_.pixels.begin() + (y + r) * image_.width + x + first_column);
    }
}

}  // namespace varnolt::cli
