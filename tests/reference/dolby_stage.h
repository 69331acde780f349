#pragma once
// The plain pieces of the per-frame Dolby B loop, which the processor replaces with a search
// that starts at the previous frame's row and gains taken from per-block tables.

#include "processors/dolby_stage.h"

namespace varnolt::reference {

// The rows around a sidechain level, searched from the first: below 40 row 0 alone, from 1750
// on row 10 alone.
RowBlend dolby_row_blend(double level);

// The gain of band f (1 for band 1) from the blended table gain, with its distance from 1
// scaled by `strength`, the active stage's "Dolby strength". A strength of 0 or less stands for
// the inactive stage, whose gains stay within 1e-12 of 1.
double dolby_band_gain(int band, const RowBlend& blend, int column, double strength);

}  // namespace varnolt::reference
