#include "report_text.h"

#include <ft2build.h>
#include FT_FREETYPE_H

namespace varnolt::cli {
namespace {

const std::string k_font = VARNOLT_REPORT_FONT;

// The next code point of UTF-8 text; malformed bytes stand for themselves.
char32_t next_code_point(const std::string& text, std::size_t& i) {
    const unsigned char c = static_cast<unsigned char>(text[i++]);
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    char32_t code = extra == 3 ? c & 0x07 : extra == 2 ? c & 0x0F : extra == 1 ? c & 0x1F : c;
    for (; extra > 0 && i < text.size(); --extra)
        code = (code << 6) | (static_cast<unsigned char>(text[i++]) & 0x3F);
    return code;
}

}  // namespace

TextPainter::TextPainter() {
    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library) != 0) return;
    library_ = library;
    FT_Face face = nullptr;
    if (FT_New_Face(library, k_font.c_str(), 0, &face) == 0) face_ = face;
}

TextPainter::~TextPainter() {
    if (face_) FT_Done_Face(static_cast<FT_Face>(face_));
    if (library_) FT_Done_FreeType(static_cast<FT_Library>(library_));
}

const std::string& TextPainter::font_path() const {
    return k_font;
}

int TextPainter::draw(Image& image, int x, int y, const std::string& text, int size, rgb colour) {
    return run(&image, x, y, text, size, colour);
}

int TextPainter::width(const std::string& text, int size) {
    return run(nullptr, 0, 0, text, size, 0);
}

int TextPainter::run(Image* image, int x, int y, const std::string& text, int size, rgb colour) {
    if (!face_) return 0;
    FT_Face face = static_cast<FT_Face>(face_);
    FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(size));
    int pen = x;
    for (std::size_t i = 0; i < text.size();) {
        const char32_t code = next_code_point(text, i);
        if (FT_Load_Char(face, code, FT_LOAD_RENDER) != 0) continue;
        const FT_GlyphSlot glyph = face->glyph;
        if (image) {
            const FT_Bitmap& bitmap = glyph->bitmap;
            for (unsigned r = 0; r < bitmap.rows; ++r)
                for (unsigned c = 0; c < bitmap.width; ++c)
                    image->blend(pen + glyph->bitmap_left + static_cast<int>(c),
                                 y - glyph->bitmap_top + static_cast<int>(r), colour,
                                 bitmap.buffer[r * bitmap.pitch + c]);
        }
        pen += static_cast<int>(glyph->advance.x >> 6);
    }
    return pen - x;
}

}  // namespace varnolt::cli
