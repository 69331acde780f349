#pragma once
// The host's ModifySamples: converts a block to the working scale, runs every sample through the
// chain, converts back with rectangular dither, and paces the display refresh. Playback thread.

#include "plugin/winamp_dsp.h"

namespace varnolt {

// While iconified the displays are refreshed three times less often.
constexpr double k_iconified_refresh_share = 0.3333333333333333;

// The DLL's instance through restore_host_block (chain/host_block.h), with the display refresh
// paced around it (chain/display_pacing.h).
int VARNOLT_CDECL modify_samples(DspModule* module, short* samples, int frames, int bits,
                                 int channels, int sample_rate);

}  // namespace varnolt
