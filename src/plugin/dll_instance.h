#pragma once
// The DLL's one stream: the instance both module records process through, which the window, the
// tray icon and the displays show and steer. It lives as long as the library stays loaded, and
// from load on the window is bound to it and to the window's displays over it
// (ui/window_binding.h), so the controls, the tray and the displays act on the very instance
// the sample path plays through.
//
// Its fields belong to the threads its members' comments name: the window thread writes the live
// parameters and creates and destroys the processors at Init and Quit; the playback thread owns
// the chain, the processors' states and the sample path's counters, and publishes the values
// the displays read.

namespace varnolt {

struct Instance;

// The DLL's instance. The module's entries use it, and so do the tests of the module itself; the
// tool, the LV2 plug-in and the tests of the core build instances of their own instead.
Instance& dll_instance();

}  // namespace varnolt
