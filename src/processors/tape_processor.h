#pragma once
// The bias equaliser and Dolby B remover: splits each block into eight overlapping bands,
// balances the channels band by band (by hand and automatically), lowers quiet high-frequency
// content that Dolby B encoding lifted, and sums the bands back. Playback thread only.

#include "processors/complex_lr.h"
#include "processors/fft.h"
#include "processors/processor.h"
#include "processors/tape_control.h"
#include "settings/parameters.h"
#include "settings/relaxed.h"

namespace varnolt {

constexpr int k_bands = 8;  // bands 1 .. 8; index 0 unused
// The band coordinate of the spectrum's bins runs logarithmically from the lowest to the highest
// value over bins 1 .. N/2; band f is centred at coordinate f + 1.
constexpr double k_lowest_band_coordinate = 2.0;
constexpr double k_highest_band_coordinate = 9.0;
constexpr int k_half_bins = k_block_frames / 2;
constexpr int k_max_overlap = k_block_frames / 2;
constexpr int k_hop_frames_capacity = k_block_frames;

// What the displays read of the tape processor. Written by the playback thread once per block,
// read by whichever thread draws (ui/drawing_token.h). The meters are sums over the blocks since
// the displays last took them.
struct TapeMonitor {
    relaxed<double> band_meter_in[k_bands + 1][2];  // sums of |band sample| before the Dolby gain
    relaxed<double> band_meter_out[k_bands + 1][2];
    relaxed<double> sidechain_meter[2];
    relaxed<int> meter_count;  // band samples in the sums
    // Set by the drawing thread once it has shown the meters; the playback thread, which owns
    // the sums, starts them over at its next block. The display never writes them itself: it
    // would wipe what a block running at the same time is adding.
    relaxed<bool> meters_taken;
    relaxed<double> auto_factor[k_bands + 1][2];  // copies of the block's factors
    relaxed<double> applied_factor[k_bands + 1][2];
};

constexpr int k_band_pairs_per_block = k_bands / 2;

// The tape processor's state, kept by the instance (chain/instance.h): it outlives the object
// across Quit and Init.
// Playback thread only, but for `monitor`.
struct TapeState {
    // Tables, built by the constructor.
    double band_position[k_half_bins];  // fractional band coordinate of each bin, 2 .. 9
    double emphasis[k_bands + 1];       // per-band level lift that the band gains work on
    double de_emphasis[k_bands + 1];
    int band_first_bin[k_bands + 1];  // band f covers bins band_first_bin .. band_last_bin
    int band_last_bin[k_bands + 1];
    // band_weight(f, k) over each band's bins, looked up per block instead of worked out.
    double band_bin_weight[k_bands + 1][k_half_bins];
    // Where each pair of bands' spectrum can be other than +0: the inverse transforms of the low
    // pairs leave out the butterflies that would only see the zeros above the bands.
    FftSparseInput band_pair_input[k_band_pairs_per_block];

    // Between blocks.
    double band_level[k_bands + 1][2];      // asymmetric peak follower per band and channel
    double auto_factor[k_bands + 1][2];     // raw automatic factor
    double applied_factor[k_bands + 1][2];  // after the "bias only" and "clustered" rules
    stereo_frame kept[k_max_overlap];       // the previous block's last E input frames
    stereo_frame band_tail[k_bands + 1][k_max_overlap];

    // Dolby B decoding (between blocks).
    double sidechain_level[2];
    int hold_counter[2];

    // The rate terms of the current block.
    int rate_shift;  // quarter octaves the Dolby columns move from 44100 Hz
    double ratio;    // 44100 / sample_rate

    TapeMonitor monitor;
};

// One output frame's eight band samples, handed from the band split to the Dolby stage.
struct BandFrame {
    stereo_frame band[k_bands + 1];
};

// The two gain-table rows a sidechain level falls between.
struct RowBlend {
    int lower;
    int upper;
    double t;  // 0 at the lower row's threshold, 1 at the upper's
};

// One block's sums between the Dolby stage's band pass and the output ring.
struct DolbyScratch {
    double wet[k_hop_frames_capacity][2];
    double dry[k_hop_frames_capacity][2];
};

// The sidechain's coefficients for one block, scaled by its rate.
struct SidechainTerms {
    double scale;   // sidechain units per band-weighted sample
    double attack;  // per frame
    double decay;
};

// The stage's meters while a block adds to them: the monitor's values as plain numbers.
struct DolbyMeters {
    double band_in[k_bands + 1][2];  // sums of |band sample| before the Dolby gain
    double band_out[k_bands + 1][2];
    double sidechain[2];
    int count;  // band samples in the sums
};

// The passes of a block, in order: the analysis transform, the band pairs' transforms, the
// band levels frame by frame, the Dolby stage and the sums frame by frame. A step is one pass
// or a part of one: band pairs or frames `first` .. `last` - 1, or part `last` (0 or 1) of band
// pair `first`.
enum class TapeStepKind { analysis, band_pairs, band_pair_part, levels, decode };
struct TapeStep {
    TapeStepKind kind;
    int first;
    int last;
};

// What a block's passes read once at their start and carry from step to step: every step of a
// block works with the same settings, however the steps are spread.
struct TapeBlockWork {
    stereo_frame band_gain[k_bands + 1];  // the levels pass's gain per band
    double strength;                      // the Dolby stage's
    SidechainTerms sidechain;
    DolbyMeters meters;
    int row[2];  // the gain-table row each channel's sidechain level was last found at
    bool remover_off;
    bool difference;
};

// Both channels of a block travel as one complex signal (left real, right imaginary), and two
// bands share each inverse transform: band 2p + 1 in the left half of a complex_lr, band 2p + 2
// in the right. One forward and four inverse transforms a block instead of one and eight of
// twice the width.
struct alignas(k_cache_line) TapeScratch {
    complex_value packed[k_block_frames];  // the analysis block, then its spectrum
    complex_lr band_pair[k_band_pairs_per_block][k_block_frames];
    stereo_frame band_signal[k_bands + 1][k_hop_frames_capacity];
    BandFrame record[k_hop_frames_capacity];
    DolbyScratch dolby;
};

class TapeProcessor : public Processor {
  public:
    // Works on one instance's state, working flags and live parameters.
    TapeProcessor(TapeState& tape_state, TapeControl& tape_control, LiveParameters& live);
    // Writes the default gains and Dolby coefficients to the live parameters and the default
    // working flags to tape_control.
    void reset_defaults() override;
    // Every step of the block at once.
    void process_block() override;

  protected:
    // One step each for the analysis, the band pairs (on the team where it pays) and each
    // frame pass; spread, the band pairs one by one and the frame passes in parts.
    int block_step_count() override;
    double block_step_weight(int step) const override;
    void run_block_step(int step) override;

    // Band pairs first .. last - 1 from the packed transform of the analysis block (left real,
    // right imaginary): each pair's spectrum, inverse transform and overlap-add into
    // scratch.band_signal.
    void transform_band_pairs(const complex_value* spectrum, int first, int last);
    // Band pair p in two parts: its spectrum and the first passes of its transform; the rest of
    // the transform and the overlap-add.
    void transform_band_pair_part(const complex_value* spectrum, int p, int part);
    // Frames first .. last - 1 of the band signals with their gains, into `record`, through the
    // level followers; after the block's last frame, the automatic factors.
    void follow_band_levels(BandFrame* record, int first, int last);
    // The Dolby B decoding and the band sum of frames first .. last - 1 into the output ring, in
    // the private passes below; the meters go back to the monitor after the block's last frame.
    void decode_and_sum(BandFrame* record, int first, int last);

    void build_tables();
    // Band f's gain per channel from the pre-amplifiers, the band sliders and the "relative"
    // flags.
    stereo_frame band_gains(int f);
    double band_weight(int f, int k) const;
    void band_spectrum(int f, int half, const complex_value* z, complex_lr* pair);
    void update_auto_factor(int f, int channel, bool auto_on);
    void publish_factors();
    void update_applied_factors();

    TapeState& tape_state;
    TapeControl& tape_control;
    LiveParameters& live;
    TapeScratch scratch;  // cache-line aligned, as static arrays are

  private:
    int hop_frames() const { return geometry().frames - geometry().overlap; }
    // The steps for the geometry and the spread, worked out again when either changed.
    void plan_steps();
    // The rate terms, the analysis block and its transform into scratch.packed.
    void transform_analysis_block();

    // The passes of decode_and_sum (dolby_decoder.cpp). What the stage reads once a block.
    void start_decoding();
    // The sidechain's coefficients at the block's rate.
    SidechainTerms sidechain_terms() const;
    // The monitor's meters to add the block to, or zeros once the displays have taken them.
    DolbyMeters meters_to_add_to();
    // Without the table remover: the automatic factors applied to every band sample.
    void apply_band_factors(BandFrame* record, int first, int last);
    // Without the table remover: each frame's de-emphasised band sum, as wet and dry alike.
    void sum_bands_unchanged(const BandFrame* record, int first, int last, DolbyMeters& meters);
    // With it, frame by frame: the factors applied, the sidechain level and the gain-table rows
    // it selects, each band lowered by its gain from the rows at `strength`, and the frame's
    // de-emphasised sums with the gains (wet) and without (dry).
    void decode_bands(const BandFrame* record, int first, int last);
    // The frames' sums, or with "Difference" on what the gains removed, into the output ring.
    void write_band_sums(int first, int last);
    // The meters back to the monitor, started over before their count could wrap.
    void publish_meters(const DolbyMeters& meters, int hop_frames);

    TapeBlockWork work_;
    TapeStep plan_[k_max_block_steps];
    int plan_count_ = 0;
    int plan_hop_frames_ = 0;  // the geometry and spread the plan was made for
    bool plan_spread_ = false;
};

// The centre frequency of band f (1 .. 8) at `sample_rate`: the bins scale with the rate. At
// 44100 Hz about 100, 217, 469, 1013, 2188, 4726, 10208 and 22050 Hz; band 1 also takes
// everything below its centre, band 8 everything above.
double band_centre_hz(int f, double sample_rate);

// Quarter octaves (steps of 2^(1/4)) from 44100 Hz to the rate, counted while the rate ratio is
// outside 0.91 .. 1.1: 48000 Hz gives 0, 96000 Hz 4, 22050 Hz -4.
int rate_shift_for(double sample_rate);

// The "bias only" and "clustered" rules on one channel's raw factors A[1 .. 8], written to
// applied[1 .. 8].
void apply_factor_rules(const double* raw, bool auto_on, bool bias_only, bool clustered,
                        double* applied);

}  // namespace varnolt
