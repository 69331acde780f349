#pragma once
// The per-frame pieces of the Dolby B stage: the sidechain envelope, the blend of gain-table
// rows and the frequency column of a band.

#include "processors/tape_processor.h"

namespace varnolt {

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

// Column of band f: band f sits at 4f - 3 quarter octaves at 44100 Hz, moved by the rate shift,
// at most 29 (the upper row reads one further), and 1 below 2.
int dolby_column(int band, int rate_shift);

// One frame of the sidechain envelope of channel ch: decay once the hold has run out, then a
// squared-amplitude attack when s exceeds the level. Coefficients already scaled by the rate.
// A frame whose level would overflow leaves the level as it was.
void follow_sidechain(TapeState& tape_state, int ch, double s, double attack, double decay);

}  // namespace varnolt
