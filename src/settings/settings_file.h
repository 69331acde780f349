#pragma once
// Moving parameters between a Settings value, the live values and an INI-format file. All of
// it runs on the window thread (or the thread that runs Init and Quit; the tool's and the
// tests' one thread).

namespace varnolt {

struct LiveParameters;
struct Settings;

// Writes `values` key by key in file order. With the plugin configuration, "Ikke" is stamped
// with the current time when it is still -1 and read back from the file afterwards. False when
// a key did not reach the file, with errno from the first that did not; the plug-in goes on
// without a word (the player has no one to tell), the command-line tool reports it. The stamp
// as read back is left in `values`.
bool save_settings_file(const char* path, Settings& values, bool with_plugin_configuration);

// Reads every known key, "Plugin Configuration" included, into `values`; a key the file lacks
// leaves its field as it is (but "Ikke", which becomes -1). Bytes are kept as the file has them.
void load_settings_file(const char* path, Settings& values);

// The save sequence: locale, a copy of `live`'s values written, and the possibly stamped "Ikke"
// back to `live`.
// False as save_settings_file.
bool save_all_settings(LiveParameters& live, const char* path, bool with_plugin_configuration);

// Seconds since 1970-01-01 00:00 UTC; the tests replace it to get a known stamp.
using clock_function = long long (*)();
void set_stamp_clock(clock_function clock);

}  // namespace varnolt
