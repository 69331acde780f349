#pragma once
// What the configuration window, its tray icon and its displays show and steer: one stream's
// instance, reached through the set of displays drawn over it. The ui layer owns neither: the
// front end that runs the window binds its own, and the DLL's plugin layer binds its one instance
// and the window's displays over it at load (plugin/dll_instance.h).
//
// The binding belongs to no thread: it is made before the window or the sample path first uses
// it and stays unchanged while either runs, so both threads read it without a lock. Which thread
// writes each field of the bound instance and displays their own declarations say.

namespace varnolt {

struct Displays;
struct Instance;

// The window shows `displays` and the instance they are drawn over from now on.
void bind_window(Displays& displays);

// The bound displays and the instance they show. Only once a binding is made.
Displays& window_displays();
Instance& window_instance();

}  // namespace varnolt
