#pragma once
// The process-wide state of the one plug-in instance, shared by both module records and by the
// window and playback threads. No lock: each field says which thread owns it. A value the
// other thread reads is a relaxed atomic; the rest belong to one thread alone.

#include <cstdint>

#include "plugin/winamp_dsp.h"
#include "settings/relaxed.h"

namespace varnolt {

constexpr int k_colour_ramp_rows = 5;
constexpr int k_colour_ramp_entries = 255;

enum ProcessingMode : int {
    k_mode_bypass = 0,
    k_mode_full = 1,
    k_mode_without_dolby = 2,
};

struct PluginState {
    // Written by the window thread, read by the playback thread (its sample path and its paced
    // display refresh).
    relaxed<int> window_active = 0;   // the windowed instance is running
    relaxed<bool> iconified = false;  // the window is hidden behind the tray icon
    relaxed<bool> ui_busy = false;    // the window is busy: the paced refresh skips
    relaxed<int> processing_mode = k_mode_full;
    relaxed<HostWindow> window = nullptr;  // the configuration window, null while none exists

    // Window thread only.
    bool opened_by_config = false;      // the host's Config had to start the window itself
    bool save_on_quit = false;          // a window exists, so the hidden Quit must save
    bool create_window_on_init = true;  // no configuration window exists yet

    // Display colours: row k, entry i at k * 255 + i; blue in bits 0-7, red in bits 16-23.
    // Owned by whichever thread holds the drawing token (ui/drawing_token.h): filled by the
    // window thread's Init, read by every drawing thread.
    std::uint32_t colour_ramps[k_colour_ramp_rows * k_colour_ramp_entries] = {};
};

extern PluginState plugin;

}  // namespace varnolt
