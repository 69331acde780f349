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

std::string profile_read(const char* path, const char* section, const char* key) {
    char text[k_profile_value_chars + 1] = {};
    GetPrivateProfileStringA(section, key, "", text, sizeof text, resolve(path).c_str());
    return text;
}

void profile_write(const char* path, const char* section, const char* key, const char* value) {
    WritePrivateProfileStringA(section, key, value, resolve(path).c_str());
}

void profile_flush(const char* path) {
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, resolve(path).c_str());
}

void select_us_numeric_locale() {
    std::setlocale(LC_NUMERIC, "US");
}

}  // namespace varnolt
