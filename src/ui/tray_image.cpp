#include "ui/tray_image.h"

#include "settings/modes.h"

namespace varnolt {
namespace {

constexpr pixel k_border = 0x606060;
constexpr pixel k_face = 0xF0F0F0;
constexpr pixel k_face_bypassed = 0xA0A0A0;
constexpr pixel k_cross_edge = 0x808080;
constexpr pixel k_mark_edge = 0x909090;

constexpr int k_mark[][2] = {{0, 12}, {0, 13}, {1, 12}, {1, 13}, {2, 11}, {2, 12}, {3, 11}, {3, 12},
                             {4, 10}, {4, 11}, {5, 10}, {5, 11}, {6, 4},  {6, 5},  {6, 9},  {6, 10},
                             {6, 11}, {7, 4},  {7, 5},  {7, 6},  {7, 9},  {7, 10}, {8, 5},  {8, 6},
                             {8, 8},  {8, 9},  {8, 10}, {9, 5},  {9, 6},  {9, 7},  {9, 8},  {9, 9},
                             {10, 6}, {10, 7}, {10, 8}, {11, 7}};
constexpr int k_mark_edges[][2] = {{2, 13}, {3, 10}, {4, 12}, {5, 9},  {6, 6},  {7, 11}, {8, 4},
                                   {8, 7},  {9, 10}, {10, 5}, {10, 9}, {11, 6}, {11, 8}, {12, 7}};

}  // namespace

void draw_tray_pixels(int mode, pixel* image) {
    PixelCanvas canvas(image, k_tray_size, k_tray_size, k_tray_size, k_tray_size);
    canvas.fill(k_border);
    for (int r = 2; r <= 13; ++r)
        canvas.row_span(r, 2, 13, mode == k_mode_bypass ? k_face_bypassed : k_face);
    if (mode == k_mode_bypass) {
        // The softer neighbours first, so where the strokes meet the strokes stay dark.
        for (int i = 5; i <= 10; ++i) {
            canvas.set(i, i - 1, k_cross_edge);
            canvas.set(i, i + 1, k_cross_edge);
            canvas.set(i, 14 - i, k_cross_edge);
            canvas.set(i, 16 - i, k_cross_edge);
        }
        for (int i = 5; i <= 10; ++i) {
            canvas.set(i, i, k_border);
            canvas.set(i, 15 - i, k_border);
        }
    } else if (mode == k_mode_full) {
        for (const auto& rc : k_mark) canvas.set(rc[0], rc[1], colour::black);
        for (const auto& rc : k_mark_edges) canvas.set(rc[0], rc[1], k_mark_edge);
    }
}

}  // namespace varnolt
