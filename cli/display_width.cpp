#include "display_width.h"

#include <cstdint>
#include <vector>

#include "platform.h"

namespace varnolt::cli {
namespace {

struct Range {
    char32_t first;
    char32_t last;
};

// East Asian Wide and Fullwidth blocks: two columns on every terminal.
constexpr Range k_wide[] = {
    {0x1100, 0x115F},   {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},
    {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},   {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},
    {0xFE30, 0xFE4F},   {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},   {0x1F300, 0x1F64F},
    {0x1F900, 0x1F9FF}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
};

// Combining marks, drawn over the character before them.
constexpr Range k_combining[] = {
    {0x0300, 0x036F}, {0x1AB0, 0x1AFF}, {0x1DC0, 0x1DFF},
    {0x200B, 0x200F}, {0x20D0, 0x20FF}, {0xFE20, 0xFE2F},
};

template <std::size_t N>
bool within(const Range (&ranges)[N], char32_t c) {
    for (const Range& r : ranges)
        if (c >= r.first && c <= r.last) return true;
    return false;
}

// Where the locale knows the character (a UTF-8 locale), its own answer; else the blocks above.
int columns_of(char32_t c) {
    const int known = locale_character_columns(c);
    if (known >= 0) return known;
    if (within(k_wide, c)) return 2;
    if (within(k_combining, c)) return 0;
    return 1;
}

// The character starting at `at`: its length in bytes and its code point. A byte that starts
// no valid sequence is one character of its own (the terminal shows a replacement for it).
std::size_t decode(const std::string& text, std::size_t at, char32_t& c) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    std::size_t length = lead < 0x80    ? 1
                         : lead >= 0xF0 ? 4
                         : lead >= 0xE0 ? 3
                         : lead >= 0xC0 ? 2
                                        : 0;
    if (length == 0 || lead > 0xF4 || at + length > text.size()) {
        c = 0xFFFD;
        return 1;
    }
    c = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) {
            c = 0xFFFD;
            return 1;
        }
        c = (c << 6) | (byte(at + i) & 0x3F);
    }
    return length;
}

}  // namespace

int display_width(const std::string& text) {
    int width = 0;
    char32_t c = 0;
    for (std::size_t at = 0; at < text.size();) {
        at += decode(text, at, c);
        width += columns_of(c);
    }
    return width;
}

std::string last_columns(const std::string& text, int columns) {
    // Where each character starts, so the cut can go back from the end.
    std::vector<std::size_t> starts;
    std::vector<int> widths;
    char32_t c = 0;
    for (std::size_t at = 0; at < text.size();) {
        starts.push_back(at);
        at += decode(text, at, c);
        widths.push_back(columns_of(c));
    }
    std::size_t kept = starts.size();
    for (int used = 0; kept > 0 && used + widths[kept - 1] <= columns; --kept)
        used += widths[kept - 1];
    // A mark that combines with a character left out would stand alone.
    while (kept < starts.size() && widths[kept] == 0) ++kept;
    return kept < starts.size() ? text.substr(starts[kept]) : std::string();
}

}  // namespace varnolt::cli
