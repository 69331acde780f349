// The plain implementation kept as the yardstick of the optimised processors: the stated
// algorithms as first written, in a namespace of their own with state of their own.
// The equivalence tests run both on the same signals; nothing in the plug-in uses this.
#pragma once
// The per-frame pieces of the Dolby B stage: the sidechain envelope, the choice and blend of
// gain-table rows, the frequency column of a band and the band gain.

#include "reference/tape_processor.h"

namespace varnolt::reference {

struct RowBlend {
    int lower;
    int upper;
    double t;  // 0 at the lower row's threshold, 1 at the upper's
};

// The rows around a sidechain level: below 40 row 0 alone, from 1750 on row 10 alone.
RowBlend dolby_row_blend(double level);

// Column of band f: band f sits at 4f - 3 quarter octaves at 44100 Hz, moved by the rate shift,
// at most 29 (the upper row reads one further), and 1 below 2.
int dolby_column(int band, int rate_shift);

// The gain of band f (1 for band 1) from the blended table gain, with its distance from 1
// scaled by `strength`, the active stage's "Dolby strength". A strength of 0 or less stands for
// the inactive stage, whose gains stay within 1e-12 of 1.
double dolby_band_gain(int band, const RowBlend& blend, int column, double strength);

// One frame of the sidechain envelope of channel ch: decay once the hold has run out, then a
// squared-amplitude attack when s exceeds the level. Coefficients already scaled by the rate.
// A frame whose level would overflow leaves the level as it was.
void follow_sidechain(int ch, double s, double attack, double decay);

}  // namespace varnolt
