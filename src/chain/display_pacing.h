#pragma once
// The displays of an instance refreshed at the pace of its audio, as the player's ModifySamples
// paces them: a block's frames are counted before the block is processed; after it, once a
// refresh is due at the refresh speed, the displays are drawn and the level peaks they showed
// are cleared for the next period. The player's DLL draws into its window, the tool into the
// report's picture: the drawing is the caller's, the pacing is this one.

#include "chain/chain.h"
#include "chain/instance.h"
#include "chain/sample_path.h"
#include "settings/modes.h"

namespace varnolt {

// Before a block of `frames` frames: false in bypass, where the block passes untouched and the
// displays rest (the block is then not paced at all); else its frames counted, and true.
inline bool begin_paced_block(Instance& instance, int frames) {
    if (instance.live.processing_mode == k_mode_bypass) return false;
    count_refresh_frames(instance.sample_path, frames);
    return true;
}

// After a block that begin_paced_block took: when a refresh is due at `refresh_speed`
// (refreshes per k_refresh_frames), draw() draws the displays (taking its refresh credit), and
// the level peaks are cleared.
template <class Draw>
void end_paced_block(Instance& instance, double refresh_speed, Draw&& draw) {
    if (!refresh_due(instance.sample_path, refresh_speed)) return;
    draw();
    clear_level_peaks(instance);
}

}  // namespace varnolt
