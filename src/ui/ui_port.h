#pragma once
// Everything the plug-in frame and the sample path ask of the user interface: the configuration
// window, its controls, the displays and the tray icon. A null window handle means "no window"
// and every operation accepts it.

#include <cstdint>

#include "ui/host_window.h"

namespace varnolt {

// Creates the configuration window (a modeless dialog owned by `parent`); null if there is none.
HostWindow create_config_window(HostInstance instance, HostWindow parent);
void destroy_config_window(HostWindow window);
bool window_exists(HostWindow window);

// Sets every control from the live parameters, then saves all settings to the INI file.
void apply_controls(HostWindow window, bool force);
// Reads the check boxes and radio buttons into the live switches.
void read_checkboxes(HostWindow window);

// Shows the window without activating it.
void show_window_plain(HostWindow window);
// Shows the window, activates it and brings it to the foreground.
void show_config_window(HostWindow window);
void hide_config_window(HostWindow window);
// The dialog procedure's message result. Pointer-sized, as the dialog manager keeps it: a `long`
// is 32 bits on 64-bit Windows.
void set_dialog_result(HostWindow window, std::intptr_t result);

// Puts the notification-area icon up (add) or takes it down.
void update_tray_icon(HostWindow window, bool add);

// Takes one refresh credit and redraws the meters and displays, unless the window is busy (and
// the refresh is not forced) or absent. Called from either thread.
void refresh_displays(bool force);

// Opens the window's drawing context and runs draw_all_displays on it.
void draw_on_window(HostWindow window, bool force);

}  // namespace varnolt
