#pragma once
// A number given on the command line of the corpus tools: the whole argument, and finite.

#include <cmath>
#include <cstdlib>

namespace varnolt_tools {

inline bool parse_number(const char* text, double& value) {
    char* end = nullptr;
    value = std::strtod(text, &end);
    return end != text && *end == '\0' && std::isfinite(value);
}

}  // namespace varnolt_tools
