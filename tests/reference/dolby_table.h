// The plain implementation kept as the yardstick of the optimised processors: the stated
// algorithms as first written, in a namespace of their own with state of their own.
// The equivalence tests run both on the same signals; nothing in the plug-in uses this.
#pragma once
// The Dolby B decoding gains: 11 sidechain-level rows, each with its threshold level and 30
// gains at quarter-octave columns (column c lies c - 1 quarter octaves above band 1's column at
// 44100 Hz; band f sits at column 4f - 3).

namespace varnolt::reference {

constexpr int k_dolby_rows = 11;
constexpr int k_dolby_columns = 30;  // numbered 1 .. 30

struct DolbyRow {
    double threshold;  // sidechain level (squared-amplitude measure) where the row applies
    double gain[k_dolby_columns + 1];  // gain[1 .. 30]; gain[0] unused
};

extern const DolbyRow dolby_table[k_dolby_rows];

}  // namespace varnolt
