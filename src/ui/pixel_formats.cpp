#include "ui/pixel_formats.h"

#include <cstring>

namespace varnolt {
namespace {

template <class IsSet>
void to_mono(const pixel* pixels, int width, int height, std::uint8_t* out, IsSet is_set) {
    const int row_bytes = display_mono_row_bytes(width);
    std::memset(out, 0, static_cast<std::size_t>(row_bytes) * height);
    for (int r = 0; r < height; ++r)
        for (int c = 0; c < width; ++c)
            if (is_set(pixels[r * width + c]))
                out[r * row_bytes + c / 8] |= static_cast<std::uint8_t>(0x80 >> (c % 8));
}

}  // namespace

std::uint16_t display_pixel_565(pixel p) {
    return static_cast<std::uint16_t>(((p >> 3) & 0x1F) | (((p >> 10) & 0x3F) << 5) |
                                      ((p >> 19) << 11));
}

int display_mono_row_bytes(int width) {
    return ((width + 15) / 16) * 2;
}

void display_to_mono(const pixel* pixels, int width, int height, std::uint8_t* out) {
    to_mono(pixels, width, height, out, [](pixel p) { return p == colour::white; });
}

std::uint16_t tray_pixel_565(pixel p) {
    return static_cast<std::uint16_t>(((p & 0xFF) >> 3) + (((p >> 8) & 0xFC) << 3) +
                                      (((p >> 16) & 0xF8) << 8));
}

void tray_to_mono(const pixel* pixels, int width, int height, std::uint8_t* out) {
    to_mono(pixels, width, height, out, [](pixel p) { return (p & 0x808000) != 0; });
}

}  // namespace varnolt
