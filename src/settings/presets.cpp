#include "settings/presets.h"

#include "settings/parameters.h"
#include "settings/profile_store.h"
#include "settings/settings_file.h"

namespace varnolt {

void load_preset(const char* path) {
    select_us_numeric_locale();
    capture_settings();
    load_settings_file(path);
    apply_settings();
}

void save_preset(const char* path) {
    save_all_settings(path, false);
}

}  // namespace varnolt
