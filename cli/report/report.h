#pragma once
// The report picture: the window's displays as they stand at the end of the file, each with a
// scale or a short legend, and two plots drawn for the report (azimuth correction over the file,
// spectra). Displays of stages that did not run are named as off; the picture is as tall as what
// it shows. A file the Dolby B stage decoded gets a last section on its decoder and level.

#include <optional>
#include <string>

#include "report_dolby_level.h"
#include "report_image.h"
#include "report_stages.h"
#include "restore_measures.h"
#include "spectrum.h"

namespace varnolt::cli {

constexpr int k_report_width = 1000;

struct ReportContent {
    std::string input_name;
    std::string output_name;
    double seconds = 0.0;
    int sample_rate = 0;
    int channels = 0;
    std::string stages;      // what was switched on, one line
    ReportStages stages_on;  // which displays have something to show
    RestoreMeasures measures;
    double azimuth_limit = 0.0;  // micrometres
    Spectrum input;
    Spectrum output;
    // When the Dolby B stage ran or --dolby-level was given: a last section on its level.
    std::optional<ReportDolbyLevel> dolby_level;
};

// `window` is the window's client area as the displays left it (see WindowPicture).
Image compose_report(const Image& window, const ReportContent& content, std::string& error);

}  // namespace varnolt::cli
