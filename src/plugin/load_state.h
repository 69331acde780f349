#pragma once
// The process-wide state as the library's loading leaves it.

namespace varnolt {

// Puts every piece of the plug-in's process-wide state back to its value at load: the plug-in
// flags, the sample path's counters, the chain with its dry line and peaks, the processors'
// module-level state, the displays and the controls' last values. The live parameters and the
// persisted settings keep their values (Init reloads them from the INI file anyway). Only while
// nothing runs: no processor exists and no window is open.
void reset_to_load_state();

// What the player sees as a fresh load: once pinned (library_pin.h) the DLL is not loaded
// anew when the player loads it again, so its header request starts it afresh instead, as long
// as no module is running. Window thread.
void start_afresh_if_idle();

}  // namespace varnolt
