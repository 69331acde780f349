#pragma once
// The sample path's counters that pace the display refresh: the host's ModifySamples adds to
// them as audio passes, and the displays take from them.

#include "settings/relaxed.h"

namespace varnolt {

struct SamplePathState {
    int frames_since_refresh = 0;  // playback thread only
    // The playback thread adds to it as audio passes; every display refresh, on either thread,
    // takes 1.0 from it, each as one atomic step.
    relaxed<double> refresh_credit = 0.0;
};

}  // namespace varnolt
