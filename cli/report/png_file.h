#pragma once
// Writes a report picture as an 8-bit RGB PNG file through libpng.

#include <string>

#include "report_image.h"

namespace varnolt::cli {

bool write_png_file(const std::string& path, const Image& image, std::string& error);

}  // namespace varnolt::cli
