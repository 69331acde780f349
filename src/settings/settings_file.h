#pragma once
// Moving parameters between the live values, the Settings record and an INI-format file.
// All of it runs on the window thread (or the thread that runs Init and Quit).

namespace varnolt {

struct LiveParameters;

// Writes `settings` key by key in file order. With the plugin configuration, "Ikke" is stamped
// with the current time when it is still -1 and read back from the file afterwards. False when
// a key did not reach the file, with errno from the first that did not; the plug-in goes on
// without a word (the player has no one to tell), the command-line tool reports it.
bool save_settings_file(const char* path, bool with_plugin_configuration);

// Reads every known key, "Plugin Configuration" included, into `settings`.
void load_settings_file(const char* path);

// The save sequence: locale, capture `live`, write, and the possibly stamped "Ikke" back to it.
// False as save_settings_file.
bool save_all_settings(LiveParameters& live, const char* path, bool with_plugin_configuration);

// Seconds since 1970-01-01 00:00 UTC; the tests replace it to get a known stamp.
using clock_function = long long (*)();
void set_stamp_clock(clock_function clock);

}  // namespace varnolt
