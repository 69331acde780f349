#pragma once
// The pace of the spread processors' steps taken together. Each spread processor runs a block's
// steps by its own schedule at the latest (Processor::spread_blocks), but the tape and stereo
// processors complete their blocks on the same push, so their own schedules would often put a
// heavy step of each into the same host call. Paced together, the steps run as the weight the
// pushes bring allows, the one falling due soonest first: one call's share of the work, then the
// next step in a later call.
//
// Playback thread only; no allocation.

#include "processors/processor.h"

namespace varnolt {

struct SpreadPacing {
    double credit = 0.0;  // weight the pushes have brought and no step has used yet
};

// After `pushes` pushes into each of the `count` processors (null entries are skipped): runs the
// pending steps the credit allows.
void pace_pending_steps(SpreadPacing& pacing, Processor* const* processors, int count, int pushes);

// The same, inline for the frames (most of them while the stages are off) with nothing pending.
inline void pace_spread_steps(SpreadPacing& pacing, Processor* const* processors, int count,
                              int pushes) {
    bool pending = false;
    for (int i = 0; i < count; ++i)
        pending = pending || (processors[i] != nullptr && processors[i]->steps_pending() > 0);
    // Nothing pending: no credit saved up for the next blocks, whose steps would then bunch.
    if (!pending) {
        pacing.credit = 0.0;
        return;
    }
    pace_pending_steps(pacing, processors, count, pushes);
}

}  // namespace varnolt
