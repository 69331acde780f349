// The encode test points published for licensed Dolby B processors, and the measure that holds a
// model to them: a steady tone through the encoder, its output level re Dolby level.
#pragma once

#include "processors/dolby_b_network.h"

namespace varnolt_tools {

struct DolbyBTestPoint {
    double hz;
    double input_db;  // re Dolby level
    double output_typical_db;
    double output_min_db;
    double output_max_db;
};

constexpr int k_dolby_b_test_points = 7;
extern const DolbyBTestPoint k_dolby_b_points[k_dolby_b_test_points];

// The rates the model is held to the points at.
constexpr int k_dolby_b_test_rates = 3;
extern const double k_dolby_b_rates[k_dolby_b_test_rates];

// A sine of `hz` at `input_db` re Dolby level, encoded from rest at `rate` for long enough that
// the control has settled (ten decay times and more), then measured over whole periods: the
// output's level at the tone's frequency, dB re Dolby level.
double encoded_tone_db(const varnolt::DolbyBDesign& design, double rate, double hz,
                       double input_db);

// The same tone encoded and then given to the decoder: the decoder's output level at the tone's
// frequency for an input at `input_db` re Dolby level (the points read backwards).
double decoded_tone_db(const varnolt::DolbyBDesign& design, double rate, double hz,
                       double input_db);

}  // namespace varnolt_tools
