// The one symbol the DLL exports. Hosts from 5.5 on pass their main window handle; older ones
// pass nothing. With __cdecl the caller cleans the stack, so ignoring the argument suits both.

#include "plugin/load_state.h"
#include "plugin/module_records.h"

extern "C" __declspec(dllexport) varnolt::DspHeader* __cdecl winampDSPGetHeader2() {
    // A player asks for the header right after loading the DLL. Once the DLL is pinned a load
    // finds the previous copy with its data: this request is where that copy starts afresh.
    varnolt::start_afresh_if_idle();
    return varnolt::dsp_header();
}
