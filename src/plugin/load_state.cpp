#include "plugin/load_state.h"

#include <algorithm>
#include <iterator>
#include <memory>

#include "chain/chain.h"
#include "plugin/modify_samples.h"
#include "processors/processor_set.h"
#include "processors/singleband.h"
#include "processors/stereo.h"
#include "processors/tape_control.h"
#include "processors/tape_processor.h"
#include "processors/tone_analyzer.h"
#include "settings/parameters.h"
#include "ui/displays.h"
#include "ui/plugin_state.h"
#include "ui/window_controls.h"

namespace varnolt {
namespace {

// Some of these states are large (the chain's dry line is 96 kB): the clean copy is built on
// the heap, not on the caller's stack.
template <class State>
void reset(State& state) {
    state = *std::make_unique<State>();
}

}  // namespace

void reset_to_load_state() {
    reset(plugin);
    reset(plugin_instance.sample_path);
    reset(plugin_instance.chain);
    reset(plugin_instance.tape_state);
    reset(plugin_instance.tone_state);
    reset(plugin_instance.stereo_state);
    reset(plugin_instance.singleband_state);
    reset(plugin_instance.tape_control);
    reset(window_displays.state);
    std::fill(std::begin(window_displays.colour_ramps), std::end(window_displays.colour_ramps), 0u);
    reset(window_controls);
    // The processing mode is not saved: a new load starts in full processing, as the first did.
    plugin_instance.live.processing_mode = k_mode_full;
}

void start_afresh_if_idle() {
    const bool idle = plugin_instance.processors.tape == nullptr &&
                      plugin_instance.processors.singleband == nullptr &&
                      plugin_instance.processors.stereo == nullptr &&
                      plugin_instance.processors.tone == nullptr && plugin.window == nullptr;
    if (idle) reset_to_load_state();
}

}  // namespace varnolt
