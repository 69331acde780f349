#pragma once
// One stream's whole signal-processing state: its live parameters, the chain, the four
// processors and the state they keep between blocks and across Quit and Init, the sample path's
// counters and the values published for the displays. Whoever runs a stream owns one: the DLL
// keeps exactly one for the player, the tool one per file or channel pair, the LV2 plug-in one per
// host instance. Only the tables stay shared, built once and read-only.
//
// Large (the dry line alone is 96 kB, the steady path's lines 131 kB, the processors' states
// several hundred): keep it in static storage or on the heap, not on a stack.

#include "chain/chain.h"
#include "chain/sample_path.h"
#include "processors/processor_set.h"
#include "processors/singleband.h"
#include "processors/stereo.h"
#include "processors/tape_control.h"
#include "processors/tape_processor.h"
#include "processors/tone_analyzer.h"
#include "settings/parameters.h"

namespace varnolt {

struct Instance {
    // Every state starts at zero, wherever the instance lives: the processors' filter histories
    // and levels have no initialisers of their own, and only static storage comes zeroed.
    Instance()
        : live(),
          chain(),
          processors(),
          sample_path(),
          tape_control(),
          tape_state(),
          stereo_state(),
          singleband_state(),
          tone_state() {}
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;
    // Destroys the processors that still exist.
    ~Instance();

    LiveParameters live;
    ChainState chain;
    ProcessorSet processors;
    SamplePathState sample_path;
    TapeControl tape_control;
    TapeState tape_state;
    StereoState stereo_state;
    SinglebandState singleband_state;
    ToneState tone_state;
};

// Creates the instance's four objects in their fixed order, but only while the first does not
// exist. When an object cannot be built, none is kept and the chain passes its samples through.
// Each new object writes its defaults into the instance's live parameters.
void create_processors(Instance& instance);
// Destroys every existing object and clears the pointers; the state the objects kept stays with
// the instance.
void destroy_processors(Instance& instance);

}  // namespace varnolt
