// The one symbol the DLL exports. Hosts from 5.5 on pass their main window handle; older ones
// pass nothing. With __cdecl the caller cleans the stack, so ignoring the argument suits both.

#include "plugin/module_records.h"

extern "C" __declspec(dllexport) varnolt::DspHeader* __cdecl winampDSPGetHeader2() {
    return varnolt::dsp_header();
}
