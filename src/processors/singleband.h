#pragma once
// The "Constant volume" stage: a single-band peak leveller with one gain for both channels. It
// pulls samples whose level would exceed the target down within a few samples, lets the gain
// recover slowly, and multiplies by 100, so loud passages come out near 16300 and quiet ones are
// lifted by up to 40 dB; no sample leaves beyond full scale (+-32768), not even while the attack
// is still pulling the gain down. Playback thread only (the constructor runs on the Init
// thread).

#include "settings/relaxed.h"

namespace varnolt {

// The fixed gain after the levelling gain: what the stage lifts a quiet passage by at most.
constexpr double k_compressor_output_gain = 100.0;

// Kept by the instance (chain/instance.h): the gain carries across Quit and Init; the
// constructor sets it back to 1.
// Playback thread only (the constructor runs on the Init thread before any sample), but for
// reset_requested.
struct SinglebandState {
    // Parameters, written by the defaults; none is shown or stored.
    int target_level;       // 16-bit units the gained level may not exceed
    double attack_rate;     // share of the way to the required gain taken per sample
    double release_rate;    // release coefficient per sample at full ramp
    double reference_gain;  // where the release heads
    double min_gain;        // lowest gain an attack may set

    double gain = 1.0;
    double release_ramp = 1.0;  // 0 .. 1, restarts at 0 on every attack
    double output = 0.0;

    // RESET comes from the window thread while the playback thread levels samples with the
    // values above: it only asks, and the playback thread, which owns them, resets them before
    // its next sample.
    relaxed<bool> reset_requested = false;
};

// Works sample by sample, without blocks or latency.
class Singleband {
  public:
    explicit Singleband(SinglebandState& singleband_state);
    // RESET: the compressor's defaults, put in force before the next sample.
    void reset_defaults();

    // Computes and stores the output for x; inactive, the output is x and nothing changes.
    void compress_sample(double x, bool active);
    double compressed_output() const { return singleband_state.output; }

  private:
    void apply_defaults();

    SinglebandState& singleband_state;
};

}  // namespace varnolt
