#include "settings/parameters.h"

#include <cstring>

namespace varnolt {

double double_from_bits(std::uint64_t bits) {
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

}  // namespace varnolt
