#pragma once
// The private-profile (INI) functions the settings files go through. On Windows these are the
// system's own; elsewhere a reader/writer of ours with the same observable behaviour.

#include <string>

namespace varnolt {

// A value is read into a 32-character buffer: at most 31 characters survive.
constexpr int k_profile_value_chars = 31;

// Whether `path` names a file the profile functions can reach: not empty, and on Windows shorter
// than the longest path they take (beyond it Windows' own functions cut the name and write to
// files with garbled names in the current folder). Every operation below reads nothing from an
// unusable path and writes nothing to it, so the values stay in memory as for any failed load.
bool profile_path_usable(const char* path);

// The key's value, or empty text when the file, the section or the key is missing.
std::string profile_read(const char* path, const char* section, const char* key);

// Replaces the key in place, or adds it at the end of its section, or adds the section at the
// end of the file. Everything else in the file is kept. False when the file could not be
// written (with errno set by the failing call where the system sets it); the plug-in itself
// goes on as the player's profile functions do, the command-line tool reports it.
bool profile_write(const char* path, const char* section, const char* key, const char* value);

// Makes the next read see the file as it is on disk.
void profile_flush(const char* path);

// Selects "." as the decimal separator for the C runtime, as every save and load does first.
void select_us_numeric_locale();

}  // namespace varnolt
