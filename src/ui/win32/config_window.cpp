// The configuration window: a modeless dialog on the host's window thread. Every slider move or
// click re-reads all controls, refreshes every label and rewrites the INI file; closing the
// window hides it behind the tray icon.

#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>

#include <cstdio>
#include <cstring>

#include "chain/instance.h"
#include "settings/ini_path.h"
#include "settings/parameters.h"
#include "settings/presets.h"
#include "settings/settings_file.h"
#include "ui/plugin_state.h"
#include "ui/resource_ids.h"
#include "ui/ui_port.h"
#include "ui/win32/tray_icon.h"
#include "ui/win32/win32_control_port.h"
#include "ui/window_binding.h"
#include "ui/window_controls.h"

namespace varnolt {
namespace {

// The maker's pages; the help page carries the first-save stamp as its query.
constexpr const char* k_help_address = "https://tolvane.example/varnolt/help/1.0/?%d";
constexpr const char* k_product_address = "https://tolvane.example/varnolt/";
constexpr int k_help_address_chars = 199;
constexpr const char k_preset_filter[] = "Varnolt Settings files (*.vnt)\0*.vnt\0";

HWND as_window(HostWindow handle) {
    return static_cast<HWND>(handle);
}

// The owning module's instance, for the About box's template.
HINSTANCE dialog_instance = nullptr;

// Runs the common file dialog; false when cancelled or the path does not fit the buffer.
bool choose_preset_path(HWND window, bool save, char* path) {
    path[0] = '\0';
    OPENFILENAMEA dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = window;
    dialog.lpstrFilter = k_preset_filter;
    dialog.lpstrFile = path;
    dialog.nMaxFile = k_preset_path_capacity;
    dialog.lpstrDefExt = k_preset_extension;
    if (save) {
        dialog.Flags = OFN_OVERWRITEPROMPT;
        return GetSaveFileNameA(&dialog) != 0;
    }
    return GetOpenFileNameA(&dialog) != 0;
}

void load_preset_command(HWND window) {
    char path[k_preset_path_capacity];
    if (!choose_preset_path(window, false, path)) return;
    load_preset(window_instance().live, path);
    apply_controls(window, false);
}

void save_preset_command(HWND window) {
    char path[k_preset_path_capacity];
    if (!choose_preset_path(window, true, path)) return;
    read_checkboxes(window);
    save_preset(window_instance().live, path);
}

void open_help(HWND window) {
    char address[k_help_address_chars + 1];
    std::snprintf(address, sizeof address, k_help_address,
                  window_instance().live.values.ikke.load());
    ShellExecuteA(window, "open", address, nullptr, nullptr, SW_SHOWNORMAL);
}

INT_PTR CALLBACK about_dialog_proc(HWND dialog, UINT message, WPARAM w_param, LPARAM) {
    if (message == WM_INITDIALOG) return TRUE;
    if (message == WM_COMMAND) {
        const int id = LOWORD(w_param);
        if (id == IDC_VISIT_WEBSITE)
            ShellExecuteA(dialog, "open", k_product_address, nullptr, nullptr, SW_SHOWNORMAL);
        if (id == IDOK || id == IDCANCEL) EndDialog(dialog, id);
        return TRUE;
    }
    if (message == WM_CLOSE) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

void close_window(HWND window) {
    read_checkboxes(window);
    save_all_settings(window_instance().live, ini_path, true);
    hide_config_window(window);
    window_instance().live.processing_mode = window_level_mode();
    if (plugin.opened_by_config) {
        // The host's configuration request started this instance; it goes quietly.
        plugin.window_active = 0;
        plugin.opened_by_config = false;
        plugin.iconified = true;
        return;
    }
    update_tray_icon(window, true);
    set_dialog_result(window, 0);
    plugin.iconified = true;
}

void rescan_controls(HWND window) {
    plugin.ui_busy = true;
    Win32ControlPort port(window);
    read_controls(port);
    apply_controls(port, false);
    plugin.ui_busy = false;
}

void command(HWND window, int id) {
    switch (id) {
        case IDC_LOAD:
            load_preset_command(window);
            break;
        case IDC_SAVE:
            save_preset_command(window);
            break;
        case IDC_RESET:
            reset_parameters();
            apply_controls(window, false);
            break;
        case IDC_ABOUT:
            DialogBoxParamA(dialog_instance, MAKEINTRESOURCEA(IDD_ABOUT), window, about_dialog_proc,
                            0);
            break;
        case IDC_HELP_BUTTON:
            open_help(window);
            break;
        default:
            break;
    }
}

bool is_command_button(int id) {
    return id == IDC_LOAD || id == IDC_SAVE || id == IDC_ABOUT || id == IDC_RESET;
}

INT_PTR CALLBACK config_dialog_proc(HWND window, UINT message, WPARAM w_param, LPARAM l_param) {
    switch (message) {
        case WM_PAINT: {
            // Validate first, so the dialog's background is not painted over the displays.
            PAINTSTRUCT paint;
            BeginPaint(window, &paint);
            EndPaint(window, &paint);
            plugin.ui_busy = true;
            refresh_displays(true);
            plugin.ui_busy = false;
            return TRUE;
        }
        case WM_INITDIALOG:
            apply_controls(window, true);
            return FALSE;
        case WM_CLOSE:
            close_window(window);
            return FALSE;
        case WM_HSCROLL:
        case WM_VSCROLL:
        case WM_NULL:
            rescan_controls(window);
            return FALSE;
        case WM_COMMAND: {
            const int id = LOWORD(w_param);
            if (!is_command_button(id)) rescan_controls(window);
            plugin.ui_busy = true;
            command(window, id);
            plugin.ui_busy = false;
            return FALSE;
        }
        case k_tray_message:
            handle_tray_mouse(window, static_cast<UINT>(l_param));
            return FALSE;
        default:
            return FALSE;
    }
}

}  // namespace

HostWindow create_config_window(HostInstance instance, HostWindow parent) {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    dialog_instance = static_cast<HINSTANCE>(instance);
    return CreateDialogParamA(dialog_instance, MAKEINTRESOURCEA(IDD_CONFIG), as_window(parent),
                              config_dialog_proc, 0);
}

void destroy_config_window(HostWindow window) {
    if (window_exists(window)) DestroyWindow(as_window(window));
}

bool window_exists(HostWindow window) {
    return window != nullptr && IsWindow(as_window(window));
}

void apply_controls(HostWindow window, bool force) {
    if (!window_exists(window)) return;
    Win32ControlPort port(as_window(window));
    apply_controls(port, force);
}

void read_checkboxes(HostWindow window) {
    if (!window_exists(window)) return;
    Win32ControlPort port(as_window(window));
    read_checkboxes(port);
}

void show_window_plain(HostWindow window) {
    if (window_exists(window)) ShowWindow(as_window(window), SW_SHOWNA);
}

void show_config_window(HostWindow window) {
    if (!window_exists(window)) return;
    ShowWindow(as_window(window), SW_SHOW);
    SetActiveWindow(as_window(window));
    SetForegroundWindow(as_window(window));
}

void hide_config_window(HostWindow window) {
    if (window_exists(window)) ShowWindow(as_window(window), SW_HIDE);
}

void set_dialog_result(HostWindow window, std::intptr_t result) {
    if (window_exists(window))
        SetWindowLongPtrA(as_window(window), DWLP_MSGRESULT, static_cast<LONG_PTR>(result));
}

}  // namespace varnolt
