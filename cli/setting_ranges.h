#pragma once
// The window's range of a setting given on the command line, and what the processing makes of
// a value outside it: the plug-in keeps such a value as it is (a hand-edited file can hold one),
// so the tool runs with it too, and says so.

#include <string>

#include "setting_names.h"

namespace varnolt::cli {

// Empty when `value` lies within the range of the window's slider for the setting (or the
// window has none); else the words that say the range and the value the processing works with.
// `setting` is one of live_settings(values).
std::string outside_window_range(const NamedSetting& setting, double value, const Settings& values);

}  // namespace varnolt::cli
