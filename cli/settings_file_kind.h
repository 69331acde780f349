#pragma once
// Telling a settings file (the INI file or a preset) from anything else before writing into it.

#include <string>
#include <vector>

namespace varnolt::cli {

// True when `path` may take a preset: it does not exist yet, is empty, or is a settings file
// already (text of section lines, key=value lines, comments and blank lines, whose sections are
// all the plug-in's own). Otherwise false with the reason in `why`.
bool may_hold_a_preset(const std::string& path, std::string& why);

// Reads the settings file at `path` for --settings: false with the reason when it is not one
// (not text of our sections); else true, with every "Section/Key" it holds that the plug-in does
// not know (a misspelled key is ignored by the loader, as the player ignores it).
bool settings_file_keys(const std::string& path, std::vector<std::string>& unknown,
                        std::string& why);

}  // namespace varnolt::cli
