#pragma once
// The Dolby level a transfer needs: "PC Recording Volume" chosen from the recording itself. A
// 400 Hz line-up tone at the start sets it exactly; without one, the level of the programme's
// treble gives an estimate. Each channel is measured on its own, as the two sides of a deck may
// have been transferred at different levels.
//
// The remover works on input / "PC Recording Volume", so a setting is a level calibration:
// doubling it moves everything the remover does by 6 dB of input level. A level measured in the
// transfer therefore gives the setting as 10^((level - level at a setting of 1) / 20).

#include "level/reference_tone.h"

namespace varnolt {

// The Dolby level "PC Recording Volume" 1 stands for: the peak level, in the transfer, of a sine
// at the tape's Dolby level (200 nWb/m), such as the 400 Hz line-up tone. The standard decoder
// works at it exactly; for the table remover it is fitted: at this level the remover comes
// nearest the published Dolby B decode points (docs/fidelity.md gives the fit and its errors).
constexpr double k_dolby_level_at_unity_dbfs = -12.7;
// A setting is the Dolby level it stands for, moved by 20 log10(setting) dB.
double volume_for_dolby_level(double level_dbfs);
double dolby_level_for_volume(double volume);
// How far the table remover, at the level fitted for it, lies from the published Dolby B decode
// points, in dB: the root mean square and the worst of its errors, the largest of those at 44.1,
// 48 and 96 kHz (RMS 0.93, 0.99 and 0.94 dB; worst 1.58, 1.84 and 1.61 dB), measured by
// build/bench/varnolt_dolby_points.
constexpr double k_table_fit_rms_db = 1.0;
constexpr double k_table_fit_worst_db = 1.8;

// Calibration of the automatic level:
// - a 400 Hz tone at the tape's Dolby level, recorded through the Dolby B encoder as a line-up
//   tone is, comes off the tape this much louder: at Dolby level the encoder's side path still
//   adds a little at 400 Hz (the standard decoder's encoder, at 44.1, 48 and 96 kHz alike);
constexpr double k_line_up_tone_lift_db = 0.13;
constexpr double k_dolby_tone_at_unity_dbfs =
    k_dolby_level_at_unity_dbfs + k_line_up_tone_lift_db;
// - without a tone, the treble (above k_treble_corner_hz) of the programme's 0.4 s windows, at
//   this percentile of their levels, lies k_treble_under_dolby_level_db under the Dolby level:
//   the middle of what the Dolby B corpus gives (speech, music, tones, bright noise and a quiet
//   then loud passage, recorded with their peaks 3 dB over Dolby level and encoded by the test
//   encoder: from 27.0 dB under it for music to 9.5 dB under it for bright noise);
constexpr double k_treble_percentile = 90.0;
constexpr double k_treble_under_dolby_level_db = 18.3;
constexpr double k_treble_at_unity_dbfs =
    k_dolby_level_at_unity_dbfs - k_treble_under_dolby_level_db;
// - the stated uncertainty of that estimate: half that spread. A programme recorded hotter or
//   quieter than the corpus moves the estimate by as much again.
constexpr double k_programme_uncertainty_db = 9.0;

constexpr double k_level_window_seconds = 0.4;
constexpr double k_treble_corner_hz = 2000.0;
constexpr double k_pause_dbfs = -60.0;          // windows below this are pauses, not programme
constexpr int k_fewest_programme_windows = 10;  // 4 s of programme to go by
constexpr double k_histogram_floor_dbfs = -120.0;
constexpr double k_histogram_step_db = 0.1;
constexpr int k_histogram_bins = 1200;  // k_histogram_floor_dbfs .. 0 dB

// The setting's limits and steps, those of the window's slider, so that a chosen value can be set
// on the window as it is printed.
constexpr double k_lowest_volume = 0.01;
constexpr double k_highest_volume = 5.0;
constexpr double k_volume_step = 0.01;
// Channels whose settings differ by more than this get one each.
constexpr double k_channel_difference_db = 0.5;
constexpr int k_most_level_channels = 2;  // one instance's channels

enum class DolbyLevelBasis { silence, programme, tone };

struct ChannelDolbyLevel {
    DolbyLevelBasis basis = DolbyLevelBasis::silence;
    double measured_dbfs = 0.0;  // the tone's peak level, or the treble percentile's level
    double volume = 1.0;         // on the slider's steps and within its limits
    bool limited = false;        // the level called for a setting beyond the slider
    double tone_start_seconds = 0.0;
    double tone_length_seconds = 0.0;
};

// One instance's choice, for its one or two channels.
struct DolbyLevelChoice {
    int channels = 0;
    ChannelDolbyLevel channel[k_most_level_channels];
    // The basis of the whole: tone when a channel had one (it then sets the value for both),
    // silence when no channel had programme, else programme.
    DolbyLevelBasis basis = DolbyLevelBasis::silence;
    bool remover_on = false;
    double measured_dbfs = 0.0;  // the mean of the measured channels' levels
    // The one value for the window's slider: the channels' geometric mean, on the slider's steps.
    double volume = 1.0;
    // The channels' line-up tones differ by more than k_channel_difference_db: each gets its own
    // setting.
    bool per_channel = false;
};

// Gathers one channel's levels as its samples stream past, in constant memory, with no
// allocation: it can run on a host's audio thread.
class ChannelLevelAnalysis {
  public:
    explicit ChannelLevelAnalysis(double sample_rate);
    // One sample, full scale 1.0.
    void add(double x);
    ChannelDolbyLevel result() const;
    // The programme's treble window levels so far: how many fell at each histogram step.
    const long long* treble_histogram() const { return histogram_; }
    long long programme_windows() const { return windows_; }
    // The tone the channel started with, if any.
    ReferenceTone tone() const { return tone_.result(); }

  private:
    void end_window();
    double treble_percentile_dbfs() const;

    double pole_;
    long long window_samples_;
    long long filled_ = 0;
    double power_ = 0.0, treble_power_ = 0.0;
    double previous_in_ = 0.0, previous_out_ = 0.0;
    long long histogram_[k_histogram_bins] = {};
    long long windows_ = 0;
    ReferenceToneFinder tone_;
};

// The setting a measured level calls for, `at_unity_dbfs` calling for 1: within the slider's
// limits (`limited` says it was clamped) and on its steps.
double volume_for_level(double level_dbfs, double at_unity_dbfs, bool& limited);

// The Dolby level a measure stands for: a line-up tone's peak level, or the programme's treble
// moved by as many dB from the treble level that calls for a setting of 1. Either way its
// setting is volume_for_dolby_level of it.
double measured_dolby_level(DolbyLevelBasis basis, double measured_dbfs);

// The choice for one instance from its channels' analyses (one or two).
DolbyLevelChoice choose_dolby_level(const ChannelLevelAnalysis* analyses, int channels);

// The "PC Recording Volume" a channel's sample must be worked on at: its own when the choice
// gives each channel one, else the one value.
double channel_volume(const DolbyLevelChoice& choice, int channel);

// The Dolby level a channel of a choice that found programme is worked at, unrounded: its own
// when the choice gives each channel one, else the choice's. The standard decoder takes its
// volume from this exactly, where the table remover takes channel_volume's slider step.
double channel_dolby_level(const DolbyLevelChoice& choice, int channel);

}  // namespace varnolt
