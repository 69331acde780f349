#include "plugin/load_state.h"

#include <algorithm>
#include <iterator>
#include <memory>

#include "chain/chain.h"
#include "chain/instance.h"
#include "plugin/dll_instance.h"
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
#include "ui/window_binding.h"
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
    Instance& instance = dll_instance();
    Displays& displays = window_displays();
    reset(plugin);
    reset(instance.sample_path);
    reset(instance.chain);
    reset(instance.tape_state);
    reset(instance.tone_state);
    reset(instance.stereo_state);
    reset(instance.singleband_state);
    reset(instance.tape_control);
    reset(displays.state);
    std::fill(std::begin(displays.colour_ramps), std::end(displays.colour_ramps), 0u);
    reset(window_controls);
    // The processing mode is not saved: a new load starts in full processing, as the first did.
    instance.live.processing_mode = k_mode_full;
}

void start_afresh_if_idle() {
    const ProcessorSet& processors = dll_instance().processors;
    const bool idle = processors.tape == nullptr && processors.singleband == nullptr &&
                      processors.stereo == nullptr && processors.tone == nullptr &&
                      plugin.window == nullptr;
    if (idle) reset_to_load_state();
}

}  // namespace varnolt
