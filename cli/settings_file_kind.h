#pragma once
// Telling a settings file (the INI file or a preset) from anything else before writing into it.

#include <string>
#include <vector>

namespace varnolt::cli {

// A settings file is text whose first line that says anything (past blank lines and ";"
// comments) is a section header, with every section one of the plug-in's own. Section and key
// names are matched as the plug-in's loader matches them: without regard to case, blanks around
// them ignored, a UTF-8 byte-order mark before the first line passed over.

// True when `path` may take a preset: it does not exist yet, is empty (or blank), or is a
// settings file already. Otherwise false with the reason in `why`.
bool may_hold_a_preset(const std::string& path, std::string& why);

// Reads the settings file at `path` for --settings: false with the reason when it is not one
// (not text of our sections); else true, with every "Section/Key" it holds that the plug-in does
// not know (a misspelled key is ignored by the loader, as the player ignores it).
bool settings_file_keys(const std::string& path, std::vector<std::string>& unknown,
                        std::string& why);

}  // namespace varnolt::cli
