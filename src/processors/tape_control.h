#pragma once
// Switches of the tape processor's block function, written by the chain before every sample it
// pushes into that processor. Owner: the playback thread; RESET on the window thread writes the
// defaults too, which the chain replaces at its next frame.

#include <cstdint>

#include "settings/relaxed.h"

namespace varnolt {

struct TapeControl {
    relaxed<std::uint8_t> dolby_active = 0;
    relaxed<std::uint8_t> dolby_difference = 0;
    // The standard decoder takes the remover's place: the band gains are exactly 1 and the
    // remover's level detector stands still, its work not done at all.
    relaxed<std::uint8_t> table_remover_off = 0;
    relaxed<std::uint8_t> bias_active = 0;
    relaxed<std::uint8_t> right_relative_to_left = 0;
    relaxed<std::uint8_t> left_relative_to_right = 0;
    relaxed<std::uint8_t> auto_left = 0;
    relaxed<std::uint8_t> auto_right = 0;
    relaxed<std::uint8_t> auto_clustered = 0;
    relaxed<std::uint8_t> auto_bias_only = 0;
};

}  // namespace varnolt
