#pragma once
// Keeping the plug-in's code in memory once the player has started it.

namespace varnolt {

// From the first Init on, the DLL stays mapped until the process ends: FreeLibrary no longer
// unloads it, and a later LoadLibrary finds the same copy with its data as the last Quit left
// it. A no-op where there is no DLL. Main (window) thread.
void keep_library_mapped();

}  // namespace varnolt
