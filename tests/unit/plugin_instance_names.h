#pragma once
// The DLL's one instance under the names its members had while they were process-wide: these
// tests drive the plug-in as the player does, through that instance. Tests of several instances
// make their own.

#include "ui/plugin_state.h"

namespace varnolt {

inline LiveParameters& live = plugin_instance.live;
inline ChainState& chain = plugin_instance.chain;
inline ProcessorSet& processors = plugin_instance.processors;
inline SamplePathState& sample_path = plugin_instance.sample_path;
inline TapeControl& tape_control = plugin_instance.tape_control;
inline TapeState& tape_state = plugin_instance.tape_state;
inline StereoState& stereo_state = plugin_instance.stereo_state;
inline SinglebandState& singleband_state = plugin_instance.singleband_state;
inline ToneState& tone_state = plugin_instance.tone_state;

}  // namespace varnolt
