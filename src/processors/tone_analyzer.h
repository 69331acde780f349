#pragma once
// Measures the restored signal's spectrum so the window can show the level of a 2 kHz test
// tone. It is fed only while the tone display is on; its output ring is never read.

#include "processors/complex_lr.h"
#include "processors/processor.h"
#include "settings/relaxed.h"

namespace varnolt {

constexpr int k_tone_bins = k_block_frames / 2;

// One bin's magnitude in each channel, as published for the display.
struct ToneBin {
    relaxed<double> left;
    relaxed<double> right;
};

// Kept by the instance (chain/instance.h). `kept` is the playback thread's; the spectrum and its
// rate are written by the playback thread and read by whichever thread draws (ui/drawing_token.h).
struct ToneState {
    ToneBin tone_spectrum[k_tone_bins];     // left and right magnitude per bin
    relaxed<double> spectrum_rate;          // Hz of the audio the spectrum was measured on
    stereo_frame kept[k_block_frames / 2];  // the previous block's last E input frames
};

class ToneAnalyzer : public Processor {
  public:
    explicit ToneAnalyzer(ToneState& tone_state);
    void reset_defaults() override {}
    // Publishes the magnitude of each of the block's lower k_tone_bins bins.
    void process_block() override;

  private:
    ToneState& tone_state;
    alignas(k_cache_line) complex_lr analysis[k_block_frames];
};

}  // namespace varnolt
