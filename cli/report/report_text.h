#pragma once
// Short texts in the report picture (titles, axis labels), drawn with FreeType from the DejaVu
// Sans font that the build found.

#include <string>

#include "report_image.h"

namespace varnolt::cli {

class TextPainter {
  public:
    TextPainter();
    ~TextPainter();
    TextPainter(const TextPainter&) = delete;
    TextPainter& operator=(const TextPainter&) = delete;

    // False when the font could not be loaded; nothing is drawn then.
    bool ready() const { return face_ != nullptr; }
    const std::string& font_path() const;

    // Draws UTF-8 `text` with its baseline at y, starting at x; returns the width in pixels.
    int draw(Image& image, int x, int y, const std::string& text, int size, rgb colour);
    int width(const std::string& text, int size);

  private:
    int run(Image* image, int x, int y, const std::string& text, int size, rgb colour);
    void* library_ = nullptr;
    void* face_ = nullptr;
};

}  // namespace varnolt::cli
