#include "plugin/lifecycle.h"

#include <chrono>
#include <thread>

#include "chain/floating_point.h"
#include "chain/instance.h"
#include "plugin/dll_instance.h"
#include "plugin/library_pin.h"
#include "processors/openmp_team.h"
#include "processors/processor_set.h"
#include "settings/ini_path.h"
#include "settings/parameters.h"
#include "settings/presets.h"
#include "settings/settings_file.h"
#include "ui/colour_ramps.h"
#include "ui/displays.h"
#include "ui/drawing_token.h"
#include "ui/plugin_state.h"
#include "ui/ui_port.h"
#include "ui/window_binding.h"
#include "ui/window_controls.h"

namespace varnolt {

namespace {

void start_window(DspModule* module) {
    if (plugin.create_window_on_init) {
        plugin.window = create_config_window(module->hDllInstance, module->hwndParent);
        // The last Quit marked the old window busy; a window that starts behind the tray icon
        // gets no paint that would clear the mark, and its icon would never show the mode.
        plugin.ui_busy = false;
    }
    apply_controls(plugin.window, true);
    if (dll_instance().live.values.iconify_at_startup) {
        hide_config_window(plugin.window);
        dll_instance().live.processing_mode = window_level_mode();
        update_tray_icon(plugin.window, true);
        set_dialog_result(plugin.window, 0);
        plugin.iconified = true;
    } else {
        show_window_plain(plugin.window);
        refresh_displays(true);
    }
}

}  // namespace

int VARNOLT_CDECL init_hidden(DspModule*) {
    keep_library_mapped();
    set_up_floating_point();
    restore_openmp_environment();
    create_processors(dll_instance());
    build_ini_path();
    try {
        load_preset(dll_instance().live, ini_path);
    } catch (...) {
        // A settings file that cannot be read leaves the values in force; Init still succeeds.
    }
    return 0;
}

int VARNOLT_CDECL init_windowed(DspModule* module) {
    keep_library_mapped();
    set_up_floating_point();
    create_processors(dll_instance());
    plugin.opened_by_config = false;
    {
        // A second Init may come while the playback thread draws with the ramps.
        const DrawingToken drawing = DrawingToken::take();
        fill_colour_ramps(window_displays().colour_ramps);
    }
    plugin.window_active = 1;
    init_hidden(module);
    start_window(module);
    plugin.create_window_on_init = false;
    return 0;
}

void VARNOLT_CDECL config_entry(DspModule* module) {
    // After a Quit the window is gone although window_active may still be set: start the
    // windowed instance again rather than address a destroyed window.
    if (plugin.window_active == 0 || plugin.create_window_on_init) {
        init_windowed(module);
        plugin.opened_by_config = true;
        plugin.save_on_quit = true;
    }
    if (plugin.iconified) {
        update_tray_icon(plugin.window, false);
        show_config_window(plugin.window);
        plugin.iconified = false;
        plugin.window_active = 1;
    }
}

void VARNOLT_CDECL quit_windowed(DspModule*) {
    plugin.ui_busy = true;
    if (!plugin.iconified) read_checkboxes(plugin.window);
    save_all_settings(dll_instance().live, ini_path, true);
    std::this_thread::sleep_for(std::chrono::milliseconds(k_quit_grace_ms));
    if (plugin.iconified) {
        update_tray_icon(plugin.window, false);
        // The icon and the window are gone: a later Init must not believe it is still hidden.
        plugin.iconified = false;
    }
    {
        // A paced refresh still under way draws into the window: it ends before the window goes.
        const DrawingToken drawing = DrawingToken::take();
        destroy_config_window(plugin.window);
        plugin.window = nullptr;
    }
    destroy_processors(dll_instance());
    plugin.create_window_on_init = true;
}

void VARNOLT_CDECL quit_hidden(DspModule* module) {
    if (plugin.save_on_quit) quit_windowed(module);
    destroy_processors(dll_instance());
}

}  // namespace varnolt
