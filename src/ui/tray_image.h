#pragma once
// The 16 x 16 picture of the notification-area icon: a cross for bypass, a check mark for full
// processing, a plain face for processing without the Dolby B remover.

#include "ui/pixel_canvas.h"

namespace varnolt {

constexpr int k_tray_size = 16;

// Draws the picture for `mode` into 256 pixels, rows top to bottom.
void draw_tray_pixels(int mode, pixel* image);

}  // namespace varnolt
