#pragma once
// The "automatic level" switch: the Dolby B remover's "PC Recording Volume" chosen from the
// stream itself. From activation, or from the run() the switch goes on in, the input is watched
// for its first sound; from there k_lv2_level_measure_seconds are measured, one channel analysis
// per channel; then the choice is made once and held until the switch goes off or the host
// activates the plug-in again. A real-time host (a player's filter chain, an editor, jalv)
// activates its plug-ins long before anything plays and runs them on silence meanwhile: ten
// seconds of that would hold no level at all.
//
// While held, each channel works at its chosen volume and the remover runs, whatever its
// "Enabled" port says: the choice found programme, and the volume is only of use to the remover.
// The "--mode" port's bypass and "no Dolby" still keep the remover out, as they do by hand.
// A stream that was silent throughout holds nothing: the ports' "PC Recording Volume" (or "Dolby
// level") and "Enabled" stay in force, as they are while measuring and with the switch off.
//
// The state is built outside run() with the stream; run() feeds, chooses and applies without
// allocating or locking (the analyses keep constant memory, and choosing only reads them).

#include "chain/instance.h"
#include "level/dolby_level.h"
#include "port_layout.h"

namespace varnolt::lv2 {

// Stream time measured before choosing. A line-up tone counts after 1.5 s of it
// (k_tone_shortest_windows), and a tape's tone may start a few seconds in; the programme's
// estimate needs 4 s of programme (k_fewest_programme_windows) and, being a percentile, is
// steadier with more than that. Every second longer is one more the listener hears at the port's
// volume, and 10 s leaves room for a late tone and for pauses in the programme.
constexpr double k_lv2_level_measure_seconds = 10.0;
// The first sample of any channel at or above this level starts the measurement: 30 dB above
// the dither or idle noise of a silent digital input (about -90 dBFS), and far below the quietest
// programme worth a level, whose peaks reach it within milliseconds. A tape's hiss between
// tracks (-60 dBFS RMS or more) counts as sound, as it is: the tape is playing.
constexpr double k_lv2_level_sound_dbfs = -60.0;

class AutomaticLevel {
  public:
    // For a stream of `channels` (1 or 2) at `sample_rate` (finite, above 0).
    AutomaticLevel(double sample_rate, int channels);

    // The switch as its port reads at the start of a run(): turning on starts a measurement,
    // turning off drops it and whatever was held.
    void set_switch(bool on);
    // A new stream (activate): with the switch on, a new measurement.
    void restart();

    // How many of the next `frames` frames may go through the chain before the choice is made:
    // the measurement's end falls between two such stretches, so the frames after it are
    // processed at the held value and those before it at the ports'.
    unsigned frames_before_choice(unsigned frames) const;
    // Measures `frames` frames of the host's input (channels' buffers, from `offset`) from the
    // first sound on, and makes and holds the choice when they complete the measurement. At most
    // frames_before_choice(frames) frames at a time.
    void measure(const float* const* inputs, unsigned offset, unsigned frames);

    // Puts the held choice into the instance, or the ports' values back:
    // chain.channel_pc_volume, which the ports set to `port_volume` (0: the "PC Recording Volume"
    // port's, already in the live values), and the remover's switch, which its port sets to
    // `dolby_port_on`.
    void apply(Instance& instance, bool dolby_port_on, double port_volume) const;

    // The output ports: the held one-value "PC Recording Volume" (0 when none is held), on the
    // slider's steps for the table remover, or `exact`ly the level's for the standard decoder;
    // and the LevelBasisValue it went by.
    double value(bool exact) const;
    int basis() const;

  private:
    enum class State { off, waiting, measuring, held };
    void start_measuring();
    // The first of `frames` frames with a sample at the sound level, or `frames`.
    unsigned first_sound(const float* const* inputs, unsigned offset, unsigned frames) const;
    bool holds_a_level() const;

    int channels_;
    long long measure_frames_;
    double sound_level_;  // k_lv2_level_sound_dbfs at full scale 1.0
    State state_ = State::off;
    long long measured_ = 0;  // frames measured so far, from the first sound
    DolbyLevelChoice choice_;
    ChannelLevelAnalysis analyses_[k_most_level_channels];
    // Analyses that have seen nothing, at the stream's rate: a new measurement starts from a copy,
    // which neither allocates nor needs the rate's filter coefficients worked out again.
    ChannelLevelAnalysis blank_;
};

}  // namespace varnolt::lv2
