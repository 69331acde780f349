#include "screenshot.h"

#include <png.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

namespace varnolt::testing {

bool load_screenshot(const std::string& bmp_path, Screenshot& shot) {
    std::ifstream in(bmp_path, std::ios::binary);
    const std::vector<unsigned char> data((std::istreambuf_iterator<char>(in)),
                                          std::istreambuf_iterator<char>());
    if (data.size() < 54 || data[0] != 'B' || data[1] != 'M') return false;
    auto le32 = [&](std::size_t at) {
        std::int32_t v;
        std::memcpy(&v, &data[at], 4);
        return v;
    };
    const std::int32_t offset = le32(10), width = le32(18), height = le32(22);
    const int bits = data[28] | (data[29] << 8);
    if (bits != 32 || width <= 0 || height == 0) return false;
    const int rows = height < 0 ? -height : height;
    if (data.size() < static_cast<std::size_t>(offset) + static_cast<std::size_t>(width) * rows * 4)
        return false;
    shot.width = width;
    shot.height = rows;
    shot.pixels.resize(static_cast<std::size_t>(width) * rows);
    for (int r = 0; r < rows; ++r) {
        const int source_row = height > 0 ? rows - 1 - r : r;  // positive height: bottom-up
        std::memcpy(&shot.pixels[static_cast<std::size_t>(r) * width],
                    &data[offset + static_cast<std::size_t>(source_row) * width * 4],
                    static_cast<std::size_t>(width) * 4);
    }
    for (std::uint32_t& p : shot.pixels) p &= 0xFFFFFF;
    return true;
}

bool save_png(const std::string& png_path, const Screenshot& shot) {
    FILE* file = std::fopen(png_path.c_str(), "wb");
    if (!file) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, shot.width, shot.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<unsigned char> row(static_cast<std::size_t>(shot.width) * 3);
    for (int r = 0; r < shot.height; ++r) {
        for (int c = 0; c < shot.width; ++c) {
            const std::uint32_t p = shot.pixels[static_cast<std::size_t>(r) * shot.width + c];
            row[3 * c] = static_cast<unsigned char>(p >> 16);
            row[3 * c + 1] = static_cast<unsigned char>(p >> 8);
            row[3 * c + 2] = static_cast<unsigned char>(p);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    return true;
}

int differing_pixels(const Screenshot& a, const Screenshot& b, double left, double top,
                     double right, double bottom) {
    if (a.width != b.width || a.height != b.height) return -1;
    int count = 0;
    for (int r = static_cast<int>(top * a.height); r < static_cast<int>(bottom * a.height); ++r)
        for (int c = static_cast<int>(left * a.width); c < static_cast<int>(right * a.width); ++c)
            count += a.pixels[static_cast<std::size_t>(r) * a.width + c] !=
                     b.pixels[static_cast<std::size_t>(r) * b.width + c];
    return count;
}

}  // namespace varnolt::testing
