// The user interface where no configuration window is built: every operation accepts the null
// handle and does nothing, so the frame runs its start-up and shut-down sequences unchanged.

#include "ui/ui_port.h"

namespace varnolt {

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
void draw_on_window(HostWindow, bool) {}

}  // namespace varnolt
