// The user interface where no configuration window is built: every operation accepts the null
// handle and does nothing, so the frame runs its start-up and shut-down sequences unchanged. An
// offscreen surface can stand in for the window's displays.

#include "ui/colour_ramps.h"
#include "ui/displays.h"
#include "ui/offscreen_displays.h"
#include "ui/plugin_state.h"
#include "ui/ui_port.h"
#include "ui/window_binding.h"

namespace varnolt {
namespace {

DisplaySurface* offscreen = nullptr;
char offscreen_window;  // its address is the handle of the stand-in window

}  // namespace

void attach_offscreen_displays(DisplaySurface* surface) {
    offscreen = surface;
    plugin.window = surface ? &offscreen_window : nullptr;
    plugin.window_active = surface ? 1 : 0;
    if (surface) fill_colour_ramps(window_displays().colour_ramps);
}

HostWindow create_config_window(HostInstance, HostWindow) {
    return nullptr;
}
void destroy_config_window(HostWindow) {}
bool window_exists(HostWindow window) {
    return window != nullptr;
}
void apply_controls(HostWindow, bool) {}
void read_checkboxes(HostWindow) {}
void show_window_plain(HostWindow) {}
void show_config_window(HostWindow) {}
void hide_config_window(HostWindow) {}
void set_dialog_result(HostWindow, std::intptr_t) {}
void update_tray_icon(HostWindow, bool) {}
void draw_on_window(HostWindow window, bool force) {
    if (offscreen != nullptr && window == &offscreen_window) draw_all_displays(*offscreen, force);
}

}  // namespace varnolt
