#include "state_check.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "chain/chain.h"
#include "chain/instance.h"
#include "plugin/dll_instance.h"
#include "plugin/modify_samples.h"
#include "processors/processor.h"
#include "processors/processor_set.h"
#include "processors/singleband.h"
#include "processors/stereo.h"
#include "processors/tape_processor.h"
#include "processors/tone_analyzer.h"
#include "ui/displays.h"
#include "ui/window_binding.h"

namespace varnolt::testing {
namespace {

// The DLL's one instance, whose state the module's entries leave behind.
ChainState& chain = dll_instance().chain;
ProcessorSet& processors = dll_instance().processors;
SamplePathState& sample_path = dll_instance().sample_path;
TapeState& tape_state = dll_instance().tape_state;
StereoState& stereo_state = dll_instance().stereo_state;
SinglebandState& singleband_state = dll_instance().singleband_state;
ToneState& tone_state = dll_instance().tone_state;

// The states are plain arrays of doubles (stereo frames and complex values are doubles too).
template <class T>
bool finite(const T& state) {
    static_assert(sizeof(T) % sizeof(double) == 0, "a state of doubles");
    const double* values = reinterpret_cast<const double*>(&state);
    constexpr std::size_t bytes = sizeof(T);
    constexpr std::size_t count = bytes / sizeof(double);
    for (std::size_t i = 0; i < count; ++i)
        if (!std::isfinite(values[i])) return false;
    return true;
}

bool processor_finite(const Processor* p) {
    const auto all_finite = [](const double* values, int count) {
        return std::all_of(values, values + count, [](double v) { return std::isfinite(v); });
    };
    return p == nullptr || (all_finite(p->intake(), k_intake_capacity) &&
                            all_finite(p->output_ring(), k_ring_capacity));
}

}  // namespace

std::string first_non_finite_state() {
    const TapeState& t = tape_state;
    const StereoState& s = stereo_state;
    const StereoMonitor& m = s.monitor;
    const struct {
        const char* name;
        bool finite;
    } states[] = {
        {"band level", finite(t.band_level)},
        {"automatic factor", finite(t.auto_factor)},
        {"applied factor", finite(t.applied_factor)},
        {"tape overlap", finite(t.kept) && finite(t.band_tail)},
        {"sidechain level", finite(t.sidechain_level)},
        {"band meters", finite(t.monitor.band_meter_in) && finite(t.monitor.band_meter_out)},
        {"sidechain meter", finite(t.monitor.sidechain_meter)},
        {"stereo overlap", finite(s.previous_frames) && finite(s.tail)},
        {"level history", finite(s.level_history)},
        {"smoothed level", std::isfinite(s.smoothed_level)},
        {"azimuth slope", std::isfinite(s.current_slope)},
        {"stereo excess", finite(m.excess)},
        {"noise level", std::isfinite(m.noise_level)},
        {"history floor", std::isfinite(m.history_floor)},
        {"held level", std::isfinite(m.held_level)},
        {"threshold", std::isfinite(m.threshold)},
        {"roughness ratio", std::isfinite(m.roughness_ratio)},
        {"hiss sums", std::isfinite(m.sum_magnitude) && std::isfinite(m.sum_removed) &&
                          std::isfinite(m.sum_excess)},
        {"azimuth monitor",
         std::isfinite(m.slope_limit) && std::isfinite(m.slope_estimate) && std::isfinite(m.slope)},
        {"compressor", std::isfinite(singleband_state.gain) &&
                           std::isfinite(singleband_state.release_ramp) &&
                           std::isfinite(singleband_state.output)},
        {"tone analyser", finite(tone_state.tone_spectrum) && finite(tone_state.kept)},
        {"processor rings", processor_finite(processors.tape) &&
                                processor_finite(processors.stereo) &&
                                processor_finite(processors.tone)},
        {"dry line", finite(chain.dry)},
        {"level peaks", finite(chain.input_peak) && finite(chain.output_peak)},
        {"refresh credit", std::isfinite(sample_path.refresh_credit)},
        {"display histories", finite(window_displays().state.signal_history) &&
                                  finite(window_displays().state.tone_history) &&
                                  finite(window_displays().state.balance_smoothed)},
    };
    for (const auto& state : states)
        if (!state.finite) return state.name;
    for (const AzimuthEntry& e : window_displays().state.azimuth_history)
        if (!std::isfinite(e.estimate) || !std::isfinite(e.slope)) return "azimuth history";
    return std::string();
}

}  // namespace varnolt::testing
