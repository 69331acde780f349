#pragma once
// The process-wide state of the one plug-in instance, shared by both module records and by the
// window and playback threads. Plain values, written by one thread and read by the other.

#include <cstdint>

#include "plugin/winamp_dsp.h"

namespace varnolt {

constexpr int k_colour_ramp_rows = 5;
constexpr int k_colour_ramp_entries = 255;

enum ProcessingMode : int {
    k_mode_bypass = 0,
    k_mode_full = 1,
    k_mode_without_dolby = 2,
};

struct PluginState {
    int window_active = 0;              // the windowed instance is running
    bool opened_by_config = false;      // the host's Config had to start the window itself
    bool save_on_quit = false;          // a window exists, so the hidden Quit must save
    bool create_window_on_init = true;  // no configuration window exists yet
    bool iconified = false;             // the window is hidden behind the tray icon
    bool ui_busy = false;               // the displays must not draw
    int processing_mode = k_mode_full;
    HostWindow window = nullptr;  // the configuration window, null while none exists
    // Display colours: row k, entry i at k * 255 + i; blue in bits 0-7, red in bits 16-23.
    std::uint32_t colour_ramps[k_colour_ramp_rows * k_colour_ramp_entries] = {};
};

extern PluginState plugin;

}  // namespace varnolt
