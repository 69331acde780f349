#include "dolby_level_port.h"

#include <algorithm>
#include <cmath>

#include "level/dolby_level.h"
#include "port_layout.h"

namespace varnolt::lv2 {

double volume_for_dolby_level_port(float level_dbfs) {
    // NaN passes std::clamp: it is taken as the default before anything compares with it.
    if (std::isnan(level_dbfs)) return 0.0;
    const double level =
        std::clamp<double>(level_dbfs, k_dolby_level_from_volume_dbfs, k_highest_dolby_level_dbfs);
    if (level <= k_dolby_level_from_volume_dbfs) return 0.0;
    return volume_for_dolby_level(level);
}

double dolby_level_in_use(double volume) {
    // dolby_level_for_volume names no level for a zero or broken volume, but a finite one.
    return std::clamp(dolby_level_for_volume(volume), lowest_dolby_level_in_use(),
                      highest_dolby_level_in_use());
}

}  // namespace varnolt::lv2
