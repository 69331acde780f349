#pragma once
// Start-up, configuration request and shut-down of the two modules. All of these run on the
// host's main (window) thread.

#include "plugin/winamp_dsp.h"

namespace varnolt {

// How long Quit waits after saving for a ModifySamples call that may still be under way.
constexpr int k_quit_grace_ms = 100;

int VARNOLT_CDECL init_windowed(DspModule* module);
int VARNOLT_CDECL init_hidden(DspModule* module);
void VARNOLT_CDECL config_entry(DspModule* module);
void VARNOLT_CDECL quit_windowed(DspModule* module);
void VARNOLT_CDECL quit_hidden(DspModule* module);

}  // namespace varnolt
