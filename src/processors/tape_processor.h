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

struct SidechainTerms;  // dolby_stage.h
struct DolbyMeters;

class TapeProcessor : public Processor {
  public:
    // Works on one instance's state, working flags and live parameters.
    TapeProcessor(TapeState& tape_state, TapeControl& tape_control, LiveParameters& live);
    // Writes the default gains and Dolby coefficients to the live parameters and the default
    // working flags to tape_control.
    void reset_defaults() override;
    void process_block() override;

  protected:
    // `spectrum`: the packed transform of the analysis block (left real, right imaginary).
    void split_into_bands(const complex_value* spectrum, BandFrame* record);
    // The Dolby B decoding and the band sum into the output ring, in the private passes below.
    void decode_and_sum(BandFrame* record);

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
    // The passes of decode_and_sum (dolby_decoder.cpp). The sidechain's coefficients at the
    // block's rate.
    SidechainTerms sidechain_terms() const;
    // The monitor's meters to add the block to, or zeros once the displays have taken them.
    DolbyMeters meters_to_add_to();
    // Without the table remover: the automatic factors applied to every band sample.
    void apply_band_factors(BandFrame* record, int hop_frames);
    // Without the table remover: each frame's de-emphasised band sum, as wet and dry alike.
    void sum_bands_unchanged(const BandFrame* record, int hop_frames, DolbyMeters& meters);
    // With it, frame by frame: the factors applied, the sidechain level and the gain-table rows
    // it selects, each band lowered by its gain from the rows at `strength`, and the frame's
    // de-emphasised sums with the gains (wet) and without (dry).
    void decode_bands(const BandFrame* record, int hop_frames, const SidechainTerms& sidechain,
                      double strength, DolbyMeters& meters);
    // The frames' sums, or with "Difference" on what the gains removed, into the output ring.
    void write_band_sums(int hop_frames);
    // The meters back to the monitor, started over before their count could wrap.
    void publish_meters(const DolbyMeters& meters, int hop_frames);
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
