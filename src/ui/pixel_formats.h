#pragma once
// Conversions of 32-bit display pixels for screens of other depths.

#include <cstdint>

#include "ui/pixel_canvas.h"

namespace varnolt {

// 5-6-5 of one display pixel (5 bits blue, 6 green, 5 red).
std::uint16_t display_pixel_565(pixel p);
// One bit per pixel, 1 exactly where the pixel is white, most significant bit first, each row
// padded to an even number of bytes. Returns the bytes per row.
int display_mono_row_bytes(int width);
void display_to_mono(const pixel* pixels, int width, int height, std::uint8_t* out);

// The tray icon's 5-6-5 rule and its monochrome rule (set where red or green is at least 0x80).
std::uint16_t tray_pixel_565(pixel p);
void tray_to_mono(const pixel* pixels, int width, int height, std::uint8_t* out);

}  // namespace varnolt
