#pragma once
// The host's ModifySamples: converts a block to the working scale, runs every sample through the
// chain, converts back with rectangular dither, and paces the display refresh. Playback thread.

#include "plugin/winamp_dsp.h"
#include "settings/relaxed.h"

namespace varnolt {

// Frames that must pass before the display refresh is considered again.
constexpr int k_refresh_frames = 1024;
// While iconified the displays are refreshed three times less often.
constexpr double k_iconified_refresh_share = 0.3333333333333333;

struct SamplePathState {
    int frames_since_refresh = 0;  // playback thread only
    // The playback thread adds to it as audio passes; every display refresh, on either thread,
    // takes 1.0 from it, each as one atomic step.
    relaxed<double> refresh_credit = 0.0;
};

extern SamplePathState sample_path;

int VARNOLT_CDECL modify_samples(DspModule* module, short* samples, int frames, int bits,
                                 int channels, int sample_rate);

}  // namespace varnolt
