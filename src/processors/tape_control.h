#pragma once
// Switches of the tape processor's block function, written by the chain before every sample it
// pushes into that processor (playback thread only).

#include <cstdint>

namespace varnolt {

struct TapeControl {
    std::uint8_t dolby_active = 0;
    std::uint8_t dolby_difference = 0;
    std::uint8_t bias_active = 0;
    std::uint8_t right_relative_to_left = 0;
    std::uint8_t left_relative_to_right = 0;
    std::uint8_t auto_left = 0;
    std::uint8_t auto_right = 0;
    std::uint8_t auto_clustered = 0;
    std::uint8_t auto_bias_only = 0;
};

extern TapeControl tape_control;

}  // namespace varnolt
