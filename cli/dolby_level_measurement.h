#pragma once
// The automatic Dolby level: a pass through the level analysis alone before a file is restored,
// reading the whole input once in constant memory, and the choice it makes for each of the
// file's instances (one per channel pair, an odd last channel on its own). dolby_level_use.h
// turns the choice into the decoder's settings.

#include <string>
#include <vector>

#include "level/dolby_level.h"

namespace varnolt::cli {

struct DolbyLevelMeasurement {
    int sample_rate = 0;
    std::vector<ChannelLevelAnalysis> channels;  // one per channel of the file
    std::vector<DolbyLevelChoice> lanes;         // one per channel pair, as the file is restored
};

// False with a one-line error naming the file. The input must be a file, as it is read twice.
bool measure_dolby_level(const std::string& path, DolbyLevelMeasurement& measurement,
                         std::string& error);

// A channel as the tool's line and the report name it: "left" and "right" in a stereo file, else
// by number.
inline std::string level_channel_name(int channel, int channels) {
    if (channels == 2) return channel == 0 ? "left" : "right";
    return "channel " + std::to_string(channel + 1);
}

}  // namespace varnolt::cli
