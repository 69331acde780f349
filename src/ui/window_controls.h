#pragma once
// The configuration window's logic, apart from Win32: the 29 sliders with their ranges, reading
// rules and labels, the check boxes with their two at-most-one-of-two pairs, the quality radio
// buttons, RESET, and the processing mode that window-level changes and tray clicks set. They
// read and write the instance the window is bound to (ui/window_binding.h). Window thread only.

#include "settings/control_ranges.h"
#include "settings/relaxed.h"
#include "ui/control_port.h"

namespace varnolt {

constexpr int k_sliders = 29;

struct SliderSpec {
    int id;
    int label;                    // IDC_NO_LABEL when the slider has none
    ControlRange range;           // M = range.highest; positions start at 0
    bool vertical;                // vertical sliders show their maximum at the top
    const char* format;           // label text from trunc(v) and trunc(m v) mod m
    int multiplier;               // m
    relaxed<double>& (*value)();  // the bound instance's live parameter
};

extern const SliderSpec slider_specs[k_sliders];

// The value each slider last showed: -1 in entry 0 and 0 in the others at load.
struct WindowControlState {
    double slider_last_value[k_sliders] = {-1.0};
};
extern WindowControlState window_controls;

// Track-bar position of value v, limited to the slider's range.
int slider_position_for(const SliderSpec& spec, double v);
// The value a track-bar position stands for.
double slider_value_at(const SliderSpec& spec, int position);
// The label text of value v.
void slider_label_text(const SliderSpec& spec, double v, char* text, int capacity);

// Shows v on slider `index` unless it already shows it exactly (and force is off).
void set_slider(ControlPort& port, int index, double v, bool force);
// Reads every slider and check box into the live parameters.
void read_controls(ControlPort& port);
// Reads the check boxes and the quality radio buttons into the live switches.
void read_checkboxes(ControlPort& port);
// Shows every live parameter on its control and saves all settings to the INI file.
void apply_controls(ControlPort& port, bool force);

// RESET: the processors' defaults and the switches that go with them.
void reset_parameters();

// The mode after a window-level change: 1 with the Dolby B remover on; else 2 when azimuth,
// FM filter or bias is on; else 0 (bypass).
int window_level_mode();
// The mode after a left click on the tray icon: the next one, skipping modes that would do
// nothing different with the current switches.
int next_tray_mode(int mode);

}  // namespace varnolt
