#pragma once
// What the report keeps of the automatic Dolby level (--dolby-level auto): each channel pair's
// choice and, for the first pair, the treble window levels the choice was read from. The
// measurement itself holds every channel's analysis; the report needs only this much, so the
// rest can go before the file is restored.

#include <string>
#include <vector>

#include "dolby_level_measurement.h"

namespace varnolt::cli {

struct ReportDolbyLevel {
    int channels = 0;                     // of the file
    std::vector<DolbyLevelChoice> lanes;  // one per channel pair, as the file is restored
    // The first pair's channels: their treble window levels, k_histogram_bins counts each, and
    // how many programme windows those counts add up to.
    std::vector<std::vector<long long>> treble_histograms;
    std::vector<long long> programme_windows;
};

ReportDolbyLevel report_dolby_level(const DolbyLevelMeasurement& measurement);

// The section's text, a line each: the value and what it came from, how a level turns into a
// setting, and the further pairs' values.
std::vector<std::string> dolby_level_lines(const ReportDolbyLevel& level);

// The level a setting stands for, `at_unity_dbfs` calling for 1: the scale the report draws
// beside the levels (not held to the slider's limits).
double level_for_setting(double setting, double at_unity_dbfs);

}  // namespace varnolt::cli
