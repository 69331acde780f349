#pragma once
// Preset files (*.vnt): the INI format without the "Plugin Configuration" section.

namespace varnolt {

struct LiveParameters;

constexpr const char* k_preset_extension = "vnt";
constexpr int k_preset_path_capacity = 256;

// The load sequence: every key the file holds becomes live at once; missing keys keep their
// values, except "Ikke", which becomes -1 when the file lacks it; the FM "Difference" switch is
// normalised to 0 or 1. Init loads the INI file this way too.
void load_preset(LiveParameters& live, const char* path);

// The save sequence without the "Plugin Configuration" section; false as save_settings_file.
bool save_preset(LiveParameters& live, const char* path);

}  // namespace varnolt
