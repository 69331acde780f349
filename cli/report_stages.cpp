#include "report_stages.h"

#include "settings/parameters.h"

namespace varnolt::cli {

ReportStages stages_in_use(const LiveParameters& live) {
    const Settings& p = live.values;
    const int mode = live.processing_mode;
    ReportStages s;
    s.processed = mode != k_mode_bypass;
    // The remover decodes only in full mode; "without Dolby" keeps the other stages.
    s.dolby = p.dolby_enabled != 0 && mode == k_mode_full;
    s.standard_decoder = p.standard_decoder != 0;
    s.bias = s.processed && p.bias_enabled != 0;
    s.fm = s.processed && p.fm_enabled != 0;
    s.azimuth = s.processed && live.azimuth_enabled != 0;
    s.compressor = s.processed && p.singleband_enabled != 0;
    s.mono = s.processed && live.mono != 0;
    s.tone_history = live.show_tone_level != 0;
    return s;
}

std::string stages_text(const ReportStages& stages) {
    if (!stages.processed) return "bypass: nothing processed";
    std::string s;
    auto add = [&s](const char* name, bool on) {
        if (on) s += (s.empty() ? "" : ", ") + std::string(name);
    };
    add(stages.standard_decoder ? "Dolby B standard decoder" : "Dolby B remover", stages.dolby);
    add("bias", stages.bias);
    add("FM hiss filter", stages.fm);
    add("azimuth", stages.azimuth);
    add("constant volume", stages.compressor);
    add("mono", stages.mono);
    return s.empty() ? "no stage switched on" : "on: " + s;
}

}  // namespace varnolt::cli
