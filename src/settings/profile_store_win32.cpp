// The Windows private-profile functions behind the settings files.

#include <windows.h>

#include <clocale>
#include <cstring>
#include <string>

#include "settings/profile_store.h"

namespace varnolt {
namespace {

// The profile functions look for a bare file name in the Windows directory; the plug-in means
// the current directory when no profile directory is known.
std::string resolve(const char* path) {
    if (std::strpbrk(path, "\\/:") == nullptr) return std::string(".\\") + path;
    return path;
}

}  // namespace

bool profile_path_usable(const char* path) {
    return path != nullptr && path[0] != '\0' && resolve(path).size() < MAX_PATH;
}

std::string profile_read(const char* path, const char* section, const char* key) {
    if (!profile_path_usable(path)) return std::string();
    char text[k_profile_value_chars + 1] = {};
    GetPrivateProfileStringA(section, key, "", text, sizeof text, resolve(path).c_str());
    return text;
}

bool profile_write(const char* path, const char* section, const char* key, const char* value) {
    return profile_path_usable(path) &&
           WritePrivateProfileStringA(section, key, value, resolve(path).c_str()) != 0;
}

void profile_flush(const char* path) {
    if (profile_path_usable(path))
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, resolve(path).c_str());
}

void select_us_numeric_locale() {
    std::setlocale(LC_NUMERIC, "US");
}

}  // namespace varnolt
