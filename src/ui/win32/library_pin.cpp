#include "plugin/library_pin.h"

#include <windows.h>

namespace varnolt {

void keep_library_mapped() {
    // The OpenMP runtime linked into the DLL keeps its worker threads for the life of the thread
    // that forked them (the player's playback thread, and the window thread through the
    // compressor's set-up in Init), waiting inside the runtime's code. FreeLibrary cannot stop
    // them: unmapping the DLL would leave them parked in code that is gone, one more for every
    // time the listener picks another DSP plug-in, and whatever woke one would crash the player.
    // Pinned, the DLL stays until the process ends. Only from Init on: a player that merely
    // lists the modules may still unload it.
    static bool pinned = false;
    if (pinned) return;
    HMODULE self = nullptr;
    pinned = GetModuleHandleExW(
                 GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                 reinterpret_cast<LPCWSTR>(reinterpret_cast<const void*>(&keep_library_mapped)),
                 &self) != 0;
}

}  // namespace varnolt
