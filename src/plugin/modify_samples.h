#pragma once
// The host's ModifySamples: converts a block to the working scale, runs every sample through the
// chain, converts back with rectangular dither, and paces the display refresh. Playback thread.

#include "chain/sample_path.h"
#include "plugin/winamp_dsp.h"

namespace varnolt {

struct Instance;

// While iconified the displays are refreshed three times less often.
constexpr double k_iconified_refresh_share = 0.3333333333333333;

// The sample path of one instance without the display pacing: the block in the host's layout
// to the working scale, through the instance's chain, and back with the instance's dither;
// untouched in bypass, with a width the plug-in does not convert, or a rate of 0 or less.
void restore_host_block(Instance& instance, short* samples, int frames, int bits, int channels,
                        int sample_rate);

// The DLL's instance through restore_host_block, then the paced display refresh.
int VARNOLT_CDECL modify_samples(DspModule* module, short* samples, int frames, int bits,
                                 int channels, int sample_rate);

}  // namespace varnolt
