#pragma once
// The notification-area icon that stands for the hidden configuration window. Window thread.

#include <windows.h>

namespace varnolt {

// The callback message the shell sends for mouse actions on the icon (the first user message).
constexpr UINT k_tray_message = WM_USER;

struct TrayState {
    bool restore_pending = false;  // a press restored the window; the release takes the icon down
};
extern TrayState tray_state;

void draw_tray_image(HWND window, int mode);
void modify_tray_icon(HWND window, int colour_depth);
// Left clicks cycle the processing mode; a right click or double click restores the window.
void handle_tray_mouse(HWND window, UINT mouse_message);

}  // namespace varnolt
