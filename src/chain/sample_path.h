#pragma once
// The sample path's own state in an instance: the dither's generator, and the counters that pace
// the display refresh (the host's ModifySamples adds to them as audio passes, and the displays
// take from them).

#include <cstdint>

#include "settings/relaxed.h"

namespace varnolt {

// The rectangular dither's source: the player's C runtime generator (msvcrt's rand: x = x *
// 214013 + 2531011, bits 16 .. 30 of x, starting from 1), kept by the instance instead of the
// runtime, so that every instance, and the tool on any platform, draws the sequence it would
// alone. Playback thread only.
class DitherGenerator {
  public:
    // The next value, 0 .. 32767.
    int next() {
        state_ = state_ * 214013u + 2531011u;
        return static_cast<int>((state_ >> 16) & 0x7FFFu);
    }

  private:
    std::uint32_t state_ = 1;
};

struct SamplePathState {
    DitherGenerator dither;
    int frames_since_refresh = 0;  // playback thread only
    // The playback thread adds to it as audio passes; every display refresh, on either thread,
    // takes 1.0 from it, each as one atomic step.
    relaxed<double> refresh_credit = 0.0;
    // Samples the conversion back to the host's format clipped (beyond its range by more than one
    // step), for the front ends that report them. Playback thread only.
    long long clipped_samples = 0;
};

// Frames that must pass before the display refresh is considered again.
constexpr int k_refresh_frames = 1024;

// The display pacing, for whoever shows an instance's displays while its audio passes:
// a block's frames are counted before it is processed, the refresh considered after it.
void count_refresh_frames(SamplePathState& path, int frames);
// Once k_refresh_frames have passed since it last did, adds `speed` (refreshes per
// k_refresh_frames) to the credit and starts counting anew; true when a refresh is due.
bool refresh_due(SamplePathState& path, double speed);
// Every refresh, paced or forced, takes one credit.
void take_refresh_credit(SamplePathState& path);

}  // namespace varnolt
