#include "settings/presets.h"

#include "settings/parameters.h"
#include "settings/profile_store.h"
#include "settings/settings_file.h"

namespace varnolt {

void load_preset(LiveParameters& live, const char* path) {
    select_us_numeric_locale();
    Settings values = live.values;
    load_settings_file(path, values);
    live.values = values;
    // The filter uses the FM "Difference" switch as a factor, so a hand-edited 7 becomes 1.
    live.values.fm_difference = values.fm_difference != 0 ? 1 : 0;
}

bool save_preset(LiveParameters& live, const char* path) {
    return save_all_settings(live, path, false);
}

}  // namespace varnolt
