#pragma once
// The displays without a configuration window: the command-line tool hands them a surface of its
// own, and while it is attached every refresh draws into it as it would into an open window.

#include "ui/display_surface.h"

namespace varnolt {

// Attaches `surface` (null detaches it): the colour ramps are filled and the plug-in counts as
// having an active window, so the paced and the forced refreshes draw as the window's do.
void attach_offscreen_displays(DisplaySurface* surface);

}  // namespace varnolt
