#include "settings/presets.h"

#include "settings/parameters.h"
#include "settings/profile_store.h"
#include "settings/settings_file.h"

namespace varnolt {

void load_preset(LiveParameters& live, const char* path) {
    select_us_numeric_locale();
    capture_settings(live);
    load_settings_file(path);
    apply_settings(live);
}

bool save_preset(LiveParameters& live, const char* path) {
    return save_all_settings(live, path, false);
}

}  // namespace varnolt
