#pragma once
// Telling a settings file (the INI file or a preset) from anything else before writing into it.

#include <string>

namespace varnolt::cli {

// True when `path` may take a preset: it does not exist yet, is empty, or is a settings file
// already (text of section lines, key=value lines, comments and blank lines, whose sections are
// all the plug-in's own). Otherwise false with the reason in `why`.
bool may_hold_a_preset(const std::string& path, std::string& why);

}  // namespace varnolt::cli
