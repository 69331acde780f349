#pragma once
// The slope search of the azimuth correction.

namespace varnolt {

struct AzimuthScratch;

struct AzimuthCandidate {
    double cost;   // weighted distance of the phase differences from a line of slope -slope
    double ratio;  // cost relative to the highest costs on either side
    double slope;  // radians per bin
};

struct AzimuthChoice {
    double best_ratio;  // 100 when no interior candidate qualified
    int best;           // index of the best interior candidate, or -1
    double estimate;    // interpolated slope; 0 when the neighbours give no direction
};

// Lists the candidate slopes from -limit - 0.001 by `step` while below limit + 0.0015, by
// repeated addition, at most `capacity` of them; returns how many.
int list_azimuth_candidates(double limit, double step, AzimuthCandidate* table, int capacity);

// The cost of each of the n candidates over the scratch's first nmax bins: in bin order, the sum
// of weight[i] times the distance of i * slope + difference[i] from 0, brought into
// -pi/2 .. pi/2 by steps of pi.
void rate_azimuth_candidates(const AzimuthScratch& scratch, AzimuthCandidate* table, int n,
                             int nmax);

// Rates the interior candidates, picks the deepest minimum and interpolates the estimate
// between its neighbours. The end candidates, which have a neighbour on one side only, are
// rated against that side alone. Of several minima equally deep, the one nearest `preferred`
// (the slope in force) is taken; costs that are all zero give no choice.
AzimuthChoice choose_azimuth_candidate(AzimuthCandidate* table, int n, double preferred);

}  // namespace varnolt
