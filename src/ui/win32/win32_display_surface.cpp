// Drawing the displays into the configuration window with GDI.

#include <windows.h>

#include <cstdint>

#include "ui/displays.h"
#include "ui/pixel_formats.h"
#include "ui/plugin_state.h"
#include "ui/ui_port.h"

namespace varnolt {
namespace {

// The largest display (the band graph at the largest scale) in 16 and 1 bit per pixel.
constexpr int k_largest_display_width = 286 * k_largest_display_scale;
constexpr int k_largest_display_height = 284 * k_largest_display_scale;
constexpr int k_largest_display_pixels = k_largest_display_width * k_largest_display_height;
std::uint16_t pixels_565[k_largest_display_pixels];
std::uint8_t pixels_mono[(k_largest_display_width + 15) / 16 * 2 * k_largest_display_height];

// Bits per pixel of the screen: those of a 1 x 1 bitmap compatible with the window's context.
int screen_depth(HDC window_context) {
    HBITMAP probe = CreateCompatibleBitmap(window_context, 1, 1);
    if (!probe) return 0;
    BITMAP info = {};
    const int depth = GetObjectA(probe, sizeof info, &info) ? info.bmBitsPixel : 0;
    DeleteObject(probe);
    return depth;
}

class WindowSurface : public DisplaySurface {
  public:
    WindowSurface(HWND window, HDC window_context, HDC memory_context)
        : window_(window),
          window_context_(window_context),
          memory_context_(memory_context),
          depth_(screen_depth(window_context)) {}

    int colour_depth() override { return depth_; }

    void map_dialog_rect(int& left, int& top, int& right, int& bottom) override {
        RECT r = {left, top, right, bottom};
        MapDialogRect(window_, &r);
        left = r.left, top = r.top, right = r.right, bottom = r.bottom;
    }

    void blit(const PixelCanvas& canvas, int x, int y) override {
        const int w = canvas.width(), h = canvas.height();
        if (w <= 0 || h <= 0) return;
        HBITMAP bitmap = nullptr;
        if (depth_ == 32) {
            bitmap = CreateBitmap(w, h, 1, 32, canvas.pixels());
        } else if (depth_ == 16) {
            for (int i = 0; i < w * h; ++i) pixels_565[i] = display_pixel_565(canvas.pixels()[i]);
            bitmap = CreateBitmap(w, h, 1, 16, pixels_565);
        } else {
            display_to_mono(canvas.pixels(), w, h, pixels_mono);
            bitmap = CreateBitmap(w, h, 1, 1, pixels_mono);
        }
        if (!bitmap) return;
        HGDIOBJ previous = SelectObject(memory_context_, bitmap);
        BitBlt(window_context_, x, y, w, h, memory_context_, 0, 0, SRCCOPY);
        SelectObject(memory_context_, previous);
        DeleteObject(bitmap);
    }

  private:
    HWND window_;
    HDC window_context_;
    HDC memory_context_;
    int depth_;
};

}  // namespace

void draw_on_window(HostWindow handle, bool force) {
    HWND window = static_cast<HWND>(handle);
    HDC window_context = GetDC(window);
    if (!window_context) return;
    HDC memory_context = CreateCompatibleDC(window_context);
    if (memory_context) {
        WindowSurface surface(window, window_context, memory_context);
        draw_all_displays(surface, force);
        DeleteDC(memory_context);
    }
    ReleaseDC(window, window_context);
}

}  // namespace varnolt
