#pragma once
// What the report keeps of the Dolby B stage: the decoder, the Dolby level and where it came
// from and, when the level was measured in the file (--dolby-level auto), each channel pair's
// choice and the first pair's treble window levels the choice was read from. The measurement
// itself holds every channel's analysis; the report needs only this much, so the rest can go
// before the file is restored.

#include <string>
#include <vector>

#include "dolby_level_use.h"

namespace varnolt::cli {

struct ReportDolbyLevel {
    DolbyLevelUse use;
    // The first measured pair's channels: their treble window levels, k_histogram_bins counts
    // each, and how many programme windows those counts add up to. Empty unless measured.
    std::vector<std::vector<long long>> treble_histograms;
    std::vector<long long> programme_windows;
};

// `measurement` is the one `use` was measured by, or null for a level given or set.
ReportDolbyLevel report_dolby_level(const DolbyLevelUse& use,
                                    const DolbyLevelMeasurement* measurement);

// The section's text, a line each: the decoder, the level and what it came from; for a measured
// level also how a level turns into a setting, and the further pairs' values.
std::vector<std::string> dolby_level_lines(const ReportDolbyLevel& level);

// The level a setting stands for, `at_unity_dbfs` calling for 1: the scale the report draws
// beside the levels (not held to the slider's limits).
double level_for_setting(double setting, double at_unity_dbfs);

}  // namespace varnolt::cli
