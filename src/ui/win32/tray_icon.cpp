#include "ui/win32/tray_icon.h"
#include "chain/instance.h"

#include <shellapi.h>

#include <cstdint>
#include <cstring>

#include "settings/parameters.h"
#include "ui/pixel_formats.h"
#include "ui/plugin_state.h"
#include "ui/tray_image.h"
#include "ui/ui_port.h"
#include "ui/window_binding.h"
#include "ui/window_controls.h"

namespace varnolt {

TrayState tray_state;

namespace {

// The shell version 5 layout with a 128-character tip.
constexpr DWORD k_tray_record_size = 488;
constexpr const char* k_tray_tip = "Varnolt for Winamp";
constexpr int k_tray_pixels = k_tray_size * k_tray_size;

NOTIFYICONDATAA tray_record;
pixel tray_image[k_tray_pixels];
std::uint16_t tray_565[k_tray_pixels];
std::uint8_t tray_mono[k_tray_size * 2];
const std::uint8_t tray_mask[k_tray_size * 2] = {};  // fully opaque

void fill_record(HWND window) {
    std::memset(&tray_record, 0, sizeof tray_record);
    tray_record.cbSize = k_tray_record_size;
    tray_record.hWnd = window;
    tray_record.uID = 0;
    tray_record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    tray_record.uCallbackMessage = k_tray_message;
    std::strncpy(tray_record.szTip, k_tray_tip, sizeof tray_record.szTip - 1);
}

int screen_depth(HWND window) {
    HDC context = GetDC(window);
    if (!context) return 0;
    HBITMAP probe = CreateCompatibleBitmap(context, 1, 1);
    BITMAP info = {};
    const int depth = probe && GetObjectA(probe, sizeof info, &info) ? info.bmBitsPixel : 0;
    if (probe) DeleteObject(probe);
    ReleaseDC(window, context);
    return depth;
}

HICON make_icon(int colour_depth) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    if (colour_depth == 32)
        return CreateIcon(instance, k_tray_size, k_tray_size, 1, 32, tray_mask,
                          reinterpret_cast<BYTE*>(tray_image));
    if (colour_depth == 16) {
        for (int i = 0; i < k_tray_pixels; ++i) tray_565[i] = tray_pixel_565(tray_image[i]);
        return CreateIcon(instance, k_tray_size, k_tray_size, 1, 16, tray_mask,
                          reinterpret_cast<BYTE*>(tray_565));
    }
    tray_to_mono(tray_image, k_tray_size, k_tray_size, tray_mono);
    return CreateIcon(instance, k_tray_size, k_tray_size, 1, 1, tray_mask, tray_mono);
}

void notify(DWORD action, HICON icon) {
    tray_record.hIcon = icon;
    Shell_NotifyIconA(action, &tray_record);
    tray_record.hIcon = nullptr;
    if (icon) DestroyIcon(icon);
}

}  // namespace

void update_tray_icon(HostWindow handle, bool add) {
    HWND window = static_cast<HWND>(handle);
    fill_record(window);
    std::memset(tray_image, 0, sizeof tray_image);
    notify(add ? NIM_ADD : NIM_DELETE, make_icon(screen_depth(window)));
    if (add) draw_tray_image(window, window_instance().live.processing_mode);
}

void draw_tray_image(HWND window, int mode) {
    const int depth = screen_depth(window);
    draw_tray_pixels(mode, tray_image);
    modify_tray_icon(window, depth);
}

void modify_tray_icon(HWND, int colour_depth) {
    if (plugin.ui_busy) return;
    notify(NIM_MODIFY, make_icon(colour_depth));
}

void handle_tray_mouse(HWND window, UINT mouse_message) {
    switch (mouse_message) {
        case WM_LBUTTONDOWN:
            window_instance().live.processing_mode =
                next_tray_mode(window_instance().live.processing_mode);
            apply_controls(window, false);
            draw_tray_image(window, window_instance().live.processing_mode);
            break;
        case WM_LBUTTONDBLCLK:
            window_instance().live.processing_mode = window_level_mode();
            apply_controls(window, false);
            [[fallthrough]];
        case WM_RBUTTONDOWN:
            if (plugin.iconified) {
                show_config_window(window);
                tray_state.restore_pending = true;
                plugin.iconified = false;
            }
            SetActiveWindow(window);
            SetForegroundWindow(window);
            break;
        case WM_LBUTTONUP:
        case WM_RBUTTONUP:
            if (tray_state.restore_pending) {
                update_tray_icon(window, false);
                tray_state.restore_pending = false;
                window_instance().live.processing_mode = window_level_mode();
            }
            break;
        default:
            break;
    }
}

}  // namespace varnolt
