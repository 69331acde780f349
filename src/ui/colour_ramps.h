#pragma once
// The five colour ramps of the level meters and displays, filled by the windowed Init.

#include <cstdint>

namespace varnolt {

constexpr int k_colour_ramp_rows = 5;
constexpr int k_colour_ramp_entries = 255;

// Fills the 5 x 255 table (row-major) with the meters' colour ramps.
void fill_colour_ramps(std::uint32_t* table);

}  // namespace varnolt
