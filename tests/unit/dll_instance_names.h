#pragma once
// For the tests of the DLL module itself (its entries, its lifecycle, its load-state reset, its
// window and displays as it binds them): the DLL's one instance, reached through the plugin
// layer's accessor, with its members under short names. A test of the core builds an instance of
// its own instead (instance_names.h).

#include "chain/instance.h"
#include "plugin/dll_instance.h"

namespace varnolt {

inline LiveParameters& live = dll_instance().live;
inline ChainState& chain = dll_instance().chain;
inline ProcessorSet& processors = dll_instance().processors;
inline SamplePathState& sample_path = dll_instance().sample_path;
inline TapeControl& tape_control = dll_instance().tape_control;
inline TapeState& tape_state = dll_instance().tape_state;
inline StereoState& stereo_state = dll_instance().stereo_state;
inline SinglebandState& singleband_state = dll_instance().singleband_state;
inline ToneState& tone_state = dll_instance().tone_state;

}  // namespace varnolt
