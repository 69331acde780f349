#pragma once
// The two choices the window's radio buttons and the tray icon make: how much of the chain runs,
// and at what quality the block processors work. Shared by the sample path, the window and the
// tools, so they live with the parameters.

namespace varnolt {

enum ProcessingMode : int {
    k_mode_bypass = 0,
    k_mode_full = 1,
    k_mode_without_dolby = 2,
};

// "CPU usage - Quality": the block processors' quality shift, 0 (high) .. 2 (low).
enum Quality : int {
    k_quality_high = 0,
    k_quality_normal = 1,
    k_quality_low = 2,
};

}  // namespace varnolt
