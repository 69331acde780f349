#include "png_file.h"

#include <png.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace varnolt::cli {
namespace {

using File = std::unique_ptr<FILE, int (*)(FILE*)>;

// libpng's own messages would go to standard error beside the tool's one line: its error goes
// into ours, its warnings are dropped.
void keep_error(png_structp png, png_const_charp message) {
    if (auto* text = static_cast<std::string*>(png_get_error_ptr(png))) *text = message;
    png_longjmp(png, 1);
}
void drop_warning(png_structp, png_const_charp) {}

}  // namespace

bool write_png_file(const std::string& path, const Image& image, std::string& error) {
    File file(std::fopen(path.c_str(), "wb"), std::fclose);
    if (!file) {
        error = path + ": cannot write the report";
        return false;
    }
    // On the heap: the object the jump back below reads must not have changed since setjmp.
    const auto message = std::make_unique<std::string>();
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, message.get(), keep_error, drop_warning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        error = path + ": cannot write the report: out of memory";
        return false;
    }
    std::vector<png_byte> row(static_cast<std::size_t>(image.width) * 3);
    // libpng reports its errors by jumping back here.
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        error = path + ": cannot write the report" + (message->empty() ? "" : ": " + *message);
        return false;
    }
    png_init_io(png, file.get());
    png_set_IHDR(png, info, image.width, image.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const rgb p = image.at(x, y);
            row[3 * x] = static_cast<png_byte>(p >> 16);
            row[3 * x + 1] = static_cast<png_byte>(p >> 8);
            row[3 * x + 2] = static_cast<png_byte>(p);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    if (std::fflush(file.get()) != 0 || std::ferror(file.get())) {
        error = path + ": cannot write the report";
        return false;
    }
    return true;
}

}  // namespace varnolt::cli
