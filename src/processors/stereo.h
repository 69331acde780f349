#pragma once
// The stereo processor: azimuth correction and FM stereo hiss removal on the one-sided spectrum
// of each block. Playback thread only; the displays read the published StereoMonitor.

#include "processors/azimuth_search.h"
#include "processors/complex_lr.h"
#include "processors/fft.h"
#include "processors/processor.h"
#include "settings/parameters.h"
#include "settings/relaxed.h"

namespace varnolt {

constexpr int k_stereo_bins = k_block_frames / 2;  // the lower half the stages work on
constexpr int k_level_history = 1024;
constexpr int k_max_history_blocks = 1023;
// Candidate slopes of the azimuth search. The settings allow about 450 up to 192 kHz and 800 at
// 384 kHz; rates beyond that end the search at the table's end.
constexpr int k_azimuth_candidates = 2048;

// What the stages publish per block for the displays. Written by the playback thread, read by
// whichever thread draws (ui/drawing_token.h): each value on its own, so a display drawn while a
// block is published may mix two blocks' values, which the next refresh puts right.
struct StereoMonitor {
    // The stereo excess of each bin, in bin order: the display sorts its own copy when it
    // draws, which costs the audio path nothing on the blocks no refresh shows.
    relaxed<double> excess[k_stereo_bins];
    relaxed<double> noise_level;      // T
    relaxed<double> history_floor;    // low quantile of recent levels, times 1.5
    relaxed<double> held_level;       // min(T, history_floor)
    relaxed<double> threshold;        // Tf, applied to the bins
    relaxed<double> roughness_ratio;  // measured roughness over its limit
    relaxed<double> sum_magnitude;
    relaxed<double> sum_removed;
    relaxed<double> sum_excess;
    relaxed<double> slope_limit;     // c, radians per bin
    relaxed<double> slope_estimate;  // e of the last accepted block
    relaxed<double> slope;           // the applied slope g
    relaxed<bool> estimate_accepted;
    relaxed<bool> azimuth_fresh;  // set per block, taken by the display when it draws
};

// The azimuth search's working values of one block.
struct alignas(k_cache_line) AzimuthScratch {
    double weight[k_stereo_bins];      // the weaker channel's magnitude
    double difference[k_stereo_bins];  // phase(R) - phase(L), modulo pi
    AzimuthCandidate candidates[k_azimuth_candidates];
};

// The hiss filter's working values of one block.
struct alignas(k_cache_line) HissScratch {
    double magnitude_left[k_stereo_bins];
    double magnitude_right[k_stereo_bins];
    double average[k_stereo_bins];           // A
    double excess[k_stereo_bins];            // B
    double excess_selection[k_stereo_bins];  // B, reordered to find its quantile
    double history_selection[k_max_history_blocks];
};

// Kept by the instance (chain/instance.h): outlives the processor object across Quit and Init.
// Playback thread only, but for `monitor`.
struct StereoState {
    stereo_frame previous_frames[k_block_frames / 2];
    stereo_frame tail[k_block_frames / 2];
    double level_history[k_level_history];  // newest at index 0
    double smoothed_level;
    bool smoothed_initialised;
    double current_slope;  // applied azimuth correction, radians per bin
    StereoMonitor monitor;
    AzimuthScratch azimuth_scratch;
    HissScratch hiss_scratch;
};

// What the azimuth search reads once a block and carries from step to step.
struct AzimuthBlock {
    double limit;       // c, radians per bin
    double max_change;  // the most the slope follows in one block
    double decay;       // of the slope in force, towards 0
    int nmax;           // bins searched
    int candidates;     // slopes listed
};

// What the hiss filter works out once a block and adds up over its bins.
struct HissBlock {
    double threshold;  // Tf
    double reduce;     // "Reduce" as a share
    bool difference;
    double sum_magnitude = 0.0;
    double sum_removed = 0.0;
    double sum_excess = 0.0;
};

// The passes of a block in order: the analysis transform, the azimuth search (its start, its
// candidates in parts, its choice and rotation), the hiss filter (its measurement, its bins in
// parts, its sums) and the synthesis. A step is one pass or a part: candidates or bins
// `first` .. `last` - 1 (as shares of k_part_scale where the count is known only later).
enum class StereoStepKind {
    transform,
    spectra,
    azimuth_start,
    azimuth_analysis,
    azimuth_rating,
    azimuth_finish,
    hiss_measure,
    hiss_start,
    hiss_removal,
    synthesis,
    overlap
};
struct StereoStep {
    StereoStepKind kind;
    int first;
    int last;
};

class Stereo : public Processor {
  public:
    // Works on one instance's state and live parameters.
    Stereo(StereoState& stereo_state, LiveParameters& live);
    // Writes the default azimuth and hiss settings; the filter's history is kept.
    void reset_defaults() override;
    // Every step of the block at once.
    void process_block() override;

  protected:
    // The passes one step each; spread, the azimuth candidates and the hiss filter's bins in
    // parts.
    int block_step_count() override;
    double block_step_weight(int step) const override;
    void run_block_step(int step) override;
    // Works in place on the N entries of a transformed block: every stage at once.
    void perform_actions(complex_lr* spectrum);

    StereoState& stereo_state;
    LiveParameters& live;
    // Both channels are real: they travel through the transforms as one complex signal, left
    // real and right imaginary, one transform of single width each way instead of two of
    // double width. Aligned to cache lines, as static arrays are, so that no vector load of
    // the transform straddles two.
    alignas(k_cache_line) complex_value packed[k_block_frames];
    alignas(k_cache_line) complex_lr spectrum[k_block_frames];

  private:
    void plan_steps();
    // The block's transform; its channels' one-sided spectra, prepared.
    void transform_analysis_block();
    void unpack_spectra();
    // The one-sided spectra doubled, the upper half cleared, the stages' switches read.
    void prepare_actions(complex_lr* spectrum);
    // The one-sided spectra back to one signal; its hop into the ring.
    void synthesize_block();
    void overlap_block();

    // Read at the block's analysis: which stages run on it, and what they carry between steps.
    bool azimuth_on_ = false;
    bool hiss_on_ = false;
    AzimuthBlock azimuth_block_{};
    HissBlock hiss_block_{};
    StereoStep plan_[k_max_block_steps];
    int plan_count_ = 0;
    bool plan_spread_ = false;
};

// Removes the part of each of the `half` bins in which left and right disagree, up to a
// threshold that follows the recording's noise floor.
void remove_stereo_hiss(StereoState& stereo_state, const LiveParameters& live, complex_lr* spectrum,
                        int half, double sample_rate);

// The hiss filter in parts: the bins first .. last - 1 measured; from the measured `half` bins,
// the noise level and threshold; bins first .. last - 1 (adding to the block's sums); the sums
// to the monitor.
void measure_hiss_bins(StereoState& stereo_state, const complex_lr* spectrum, int first, int last);
HissBlock start_hiss_removal(StereoState& stereo_state, const LiveParameters& live, int half,
                             double sample_rate);
void remove_hiss_part(StereoState& stereo_state, HissBlock& block, complex_lr* spectrum, int first,
                      int last);
void finish_hiss_removal(StereoState& stereo_state, const HissBlock& block);

// The azimuth correction in parts: the live values and the candidates' list; the searched bins
// first .. last - 1 analysed; candidates first .. last - 1 rated; the choice, the slope followed
// and the rotation.
AzimuthBlock start_azimuth_search(StereoState& stereo_state, const LiveParameters& live, int half,
                                  double sample_rate, int quality);
void analyse_azimuth_bins(StereoState& stereo_state, const AzimuthBlock& block,
                          const complex_lr* spectrum, int first, int last);
void rate_azimuth_part(StereoState& stereo_state, const AzimuthBlock& block, int first, int last);
void finish_azimuth_search(StereoState& stereo_state, const AzimuthBlock& block,
                           complex_lr* spectrum, int half);

// Estimates the channels' phase slope, follows it within the limit and speed, and rotates the
// left channel of the `half` bins to line the channels up.
void correct_azimuth(StereoState& stereo_state, const LiveParameters& live, complex_lr* spectrum,
                     int half, double sample_rate, int quality);

}  // namespace varnolt
