#pragma once
// The per-frame pieces of the Dolby B stage: the sidechain envelope, the blend of gain-table
// rows and the frequency column of a band.

#include "processors/tape_processor.h"

namespace varnolt {

// Column of band f: band f sits at 4f - 3 quarter octaves at 44100 Hz, moved by the rate shift,
// at most 29 (the upper row reads one further), and 1 below 2.
int dolby_column(int band, int rate_shift);

// One frame of the sidechain envelope of channel ch: decay once the hold has run out, then a
// squared-amplitude attack when s exceeds the level. Coefficients already scaled by the rate.
// A frame whose level would overflow leaves the level as it was.
void follow_sidechain(TapeState& tape_state, int ch, double s, double attack, double decay);

}  // namespace varnolt
