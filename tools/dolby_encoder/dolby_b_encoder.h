// A Dolby B style encoder for testing the Dolby B remover: not shipped in the plug-in. It is
// written from the published principle of the system, not from any circuit, so it is a stand-in
// with the same behaviour in kind (quiet treble lifted by up to 10 dB, loud treble left nearly
// alone, the boundary set by a reference level), not a copy of a real unit.
//
// The principle: a side path, a high-pass filter whose corner slides, is added to the main path.
//
//     y = x + g * hp_K(x)        g = 10^(10/20) - 1, so well above the corner y = 3.162 x (+10 dB)
//
// hp_K is a first-order high-pass made with the bilinear transform; K = tan(pi * fc / rate) is its
// corner in the warped frequency scale of that transform. At a frequency f, with W = tan(pi * f /
// rate), the lift of the whole encoder for a fixed K is exactly
//
//     lift_db(f) = 10 log10((K^2 + (1 + g)^2 W^2) / (K^2 + W^2))
//
// which is 0 dB at 0 Hz and 10 dB at the Nyquist frequency. At rest the corner is 1.5 kHz: the
// lift is 2.8 dB at 500 Hz, 5.8 dB at 1 kHz, 9.5 dB at 4 kHz at 44.1 kHz (0.17 dB at 100 Hz).
//
// The corner slides up with the level of the treble. A detector hears the input through the side
// path's filter at rest (hp_K0: what would be lifted if the signal were quiet), squares it and
// smooths the square with a 2 ms attack and a 100 ms decay, the order of the published times:
//
//     p += (s^2 - p) * (s^2 > p ? a_attack : a_decay)     a = 1 - exp(-1 / (tau * rate))
//     level u = sqrt(2 p) / R        (a sine's amplitude, relative to the reference level R)
//     K = K0 * max(1, u / u_threshold)
//
// Above the threshold the corner is proportional to the treble's level, so the side path's output
// at frequencies below the corner stays near the threshold's level: loud treble is lifted less and
// less, as in the real system, where the side path is limited to a fixed level. The detector is
// fed forward from the input (a real unit listens to its side path's output); that keeps the law
// above explicit, and a decoder that is meant to invert it can be judged against the formula.
//
// The reference level R is "Dolby level": the amplitude, as a fraction of full scale, of a sine
// recorded at the tape's reference flux (the level of the Dolby tone). Everything is relative to
// it: scaling the input and R by the same factor scales the output by that factor exactly (but
// for rounding). The threshold u_threshold is 33 dB below Dolby level. The detector of squares
// with a fast attack reads a steady tone about 2 dB above its amplitude, and the steady lift at
// 44.1 kHz comes out as (dB re Dolby level: lift in dB)
//
//                -40     -20      0
//      1 kHz     5.75    1.27    0.02
//      4 kHz     9.51    4.28    0.09
//     10 kHz     9.94    8.30    0.64
//     16 kHz     9.99    9.67    2.80
//
// The top octave keeps more lift at high levels than an analog unit would: a bilinear shelf
// reaches its whole 10 dB at the Nyquist frequency whatever its corner, so near it the corner
// would have to slide much further. At 88.2 kHz or more that stays above the audible band.
//
// Input samples must be finite: a NaN or an infinity is encoded as silence and does not enter the
// detector, whose state would otherwise stay poisoned for the rest of the file.
#pragma once

#include <cstddef>

namespace varnolt_tools {

struct dolby_b_constants {
    static constexpr double max_lift_db = 10;       // lift well above the corner
    static constexpr double rest_corner_hz = 1500;  // the side path's corner for quiet signals
    static constexpr double threshold_db = -33;  // re Dolby level: where the corner starts to move
    static constexpr double attack_seconds = 0.002;        // detector, rising level
    static constexpr double decay_seconds = 0.100;         // detector, falling level
    static constexpr double default_reference_dbfs = -15;  // Dolby level, dB re full scale
    static constexpr double min_rate = 8000;  // the rest corner must lie well below Nyquist
};

// One channel. Any thread, one at a time.
class DolbyBEncoder {
  public:
    // rate >= dolby_b_constants::min_rate; reference_dbfs is Dolby level in dB re full scale
    // (a sine of amplitude 10^(reference_dbfs / 20)).
    DolbyBEncoder(double rate, double reference_dbfs);

    double process(double x);
    void process(float* samples, std::size_t count, std::size_t stride);

    // The side path's corner as K = tan(pi * fc / rate), after the last sample.
    double corner_k() const { return corner_k_; }
    double rest_corner_k() const { return rest_k_; }

    // The lift in dB at f_hz for a side path held at corner K (the formula above).
    static double lift_db(double f_hz, double rate, double corner_k);

  private:
    double rest_k_, side_gain_, reference_, threshold_;
    double attack_, decay_;
    double rest_state_ = 0, side_state_ = 0;  // the two filters' integrators
    double power_ = 0;                        // smoothed square of the detector's input
    double corner_k_;
};

// A first-order bilinear high-pass in the integrator (trapezoidal) form: its state stays
// meaningful when K moves from sample to sample, where a direct form would click.
inline double high_pass(double x, double k, double& state) {
    const double v = (x - state) * (k / (1 + k));
    const double low = v + state;
    state = low + v;
    return x - low;
}

}  // namespace varnolt_tools
