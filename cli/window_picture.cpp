#include "window_picture.h"

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
    for (int r = 0; r < canvas.height(); ++r)
        for (int c = 0; c < canvas.width(); ++c) image_.set(x + c, y + r, canvas.at(r, c));
}

}  // namespace varnolt::cli
