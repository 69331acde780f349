#pragma once
// Screenshots of the configuration window: the host saves 32-bit BMP files; the tests compare
// regions of them and keep them as PNG files.

#include <cstdint>
#include <string>
#include <vector>

namespace varnolt::testing {

struct Screenshot {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;  // 0x00RRGGBB, rows top to bottom
};

bool load_screenshot(const std::string& bmp_path, Screenshot& shot);
bool save_png(const std::string& png_path, const Screenshot& shot);

// Pixels that differ between two shots inside the given fractions of the picture.
int differing_pixels(const Screenshot& a, const Screenshot& b, double left, double top,
                     double right, double bottom);

}  // namespace varnolt::testing
