#pragma once
// Every persisted parameter by the name the INI file gives it, "Section/Key", for --set and
// --print-settings.

#include <string>
#include <vector>

#include "settings/parameter_table.h"

namespace varnolt::cli {

// One parameter with its name; `field` points into the Settings value it was listed from.
struct NamedSetting {
    std::string name;  // "Section/Key"
    ParameterField field;
};

// Every field of `values`, "Plugin Configuration" first, in file order; the fields point into
// `values`, which must outlive the list.
std::vector<NamedSetting> live_settings(Settings& values);

// The setting called `name` (case and surrounding blanks ignored), or null.
const NamedSetting* find_setting(const std::vector<NamedSetting>& settings,
                                 const std::string& name);

// Up to `count` names closest to `name` by edit distance, nearest first.
std::vector<std::string> closest_settings(const std::vector<NamedSetting>& settings,
                                          const std::string& name, int count);

}  // namespace varnolt::cli
