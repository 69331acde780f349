#include "settings/parameters.h"

#include <cstring>

namespace varnolt {

double double_from_bits(std::uint64_t bits) {
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

Settings settings;

void capture_settings(const LiveParameters& live) {
    settings = live.values;
}

void apply_settings(LiveParameters& live) {
    live.values = settings;
    live.values.fm_difference = settings.fm_difference != 0 ? 1 : 0;
}

}  // namespace varnolt
