#pragma once
// The process-wide state of the plug-in's window, shared by both module records and by the
// window and playback threads: the window, the tray icon and the displays own it, so it lives
// with them. No lock: each field says which thread owns it. A value the other thread reads is a
// relaxed atomic; the rest belong to one thread alone.

#include <cstdint>

#include "settings/relaxed.h"
#include "ui/host_window.h"

namespace varnolt {

struct PluginState {
    // Written by the window thread, read by the playback thread (its sample path and its paced
    // display refresh).
    relaxed<int> window_active = 0;        // the windowed instance is running
    relaxed<bool> iconified = false;       // the window is hidden behind the tray icon
    relaxed<bool> ui_busy = false;         // the window is busy: the paced refresh skips
    relaxed<HostWindow> window = nullptr;  // the configuration window, null while none exists

    // Window thread only.
    bool opened_by_config = false;      // the host's Config had to start the window itself
    bool save_on_quit = false;          // a window exists, so the hidden Quit must save
    bool create_window_on_init = true;  // no configuration window exists yet
};

extern PluginState plugin;

}  // namespace varnolt
