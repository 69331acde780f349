#pragma once
// The header record and the two module records the host finds through winampDSPGetHeader2.

#include "plugin/winamp_dsp.h"

namespace varnolt {

constexpr int k_module_windowed = 0;
constexpr int k_module_hidden = 1;

// Module 0 ("Window visible") and 1 ("Hide window"); null for every other index.
DspModule* VARNOLT_CDECL get_module(int index);

DspHeader* dsp_header();

}  // namespace varnolt
