#pragma once
// A Dolby B style compander: the encoder that made a tape's treble louder when it was quiet, and
// the decoder that undoes it exactly. Built on the system's published principle, not on a circuit:
//
//   - a main path passes the signal unchanged;
//   - a side path, a first-order high-pass whose corner slides upward, adds its output to the main
//     path in the encoder: y = x + s(x). Quiet treble, well above the corner, is lifted by the
//     full side gain (about 10 dB);
//   - the corner slides with the level of the side path's own output, heard through a further
//     high-pass and a rectifier with a fast attack and a slower decay. Above a threshold the
//     corner rises with the level, so the side path's output stays near the threshold and loud
//     treble is lifted less and less;
//   - the decoder is the same side path in a feedback loop: fed from the decoder's output and
//     subtracted, y = u - s(y). Fed with what the encoder was fed, the side path holds the same
//     state and gives the same output, so decoding is the exact inverse of encoding, whatever the
//     signal does in time.
//
// Each sample is solved within the sample: with the corner set by the samples before, the side
// path is affine in its present input (s = k (y - state)), so y = u - k (y - state) has exactly
// one solution, worked out in closed form. There is no sample of delay in the loop.
//
// Levels are relative to Dolby level, the amplitude of a sine recorded at the tape's reference
// flux (200 nWb/m on a cassette): a transfer's one calibration. The design constants below were
// fitted to the encode test points published for licensed Dolby B processors (docs/fidelity.md
// lists the points and what this model gives at 44.1, 48 and 96 kHz); the time constants were
// chosen, not fitted (see k_dolby_b_design).

namespace varnolt {

struct DolbyBDesign {
    double max_lift_db;        // the side gain: lift of quiet treble well above the corner
    double rest_corner_hz;     // the sliding high-pass's corner while the side path is quiet
    double threshold_db;       // re Dolby level: the control level where the corner starts to move
    double control_corner_hz;  // the control hears the side path through a high shelf from here
    double control_shelf_db;   // whose lift well above its corner: treble moves the corner more
    int slide_power;           // above the threshold, corner = rest corner x (level / threshold)^p
    double widest_slide;       // up to this multiple of the rest corner
    double attack_seconds;     // the control's rectifier, rising level
    double decay_seconds;      // and falling level
};

// The fitted design. Attack 2 ms: a burst of treble is caught within a few milliseconds, the
// published order of the system's attack, so that a transient is lifted for no longer than that;
// decay 60 ms: long enough that the rectifier's ripple on a 100 Hz tone moves the corner by well
// under a decibel (a faster decay modulates the treble with the bass), short enough that the
// lift returns within a tenth of a second after a loud passage, before the hiss it hides is
// heard.
extern const DolbyBDesign k_dolby_b_design;

// The frequency where the digital network agrees with its analog prototype exactly.
constexpr double k_dolby_b_prewarp_hz = 5000.0;

// The lowest rate the model runs at: its rest corner must lie well below the Nyquist frequency.
constexpr double k_dolby_b_lowest_rate = 8000.0;

// A design worked out for one sample rate and one Dolby level.
struct DolbyBCoefficients {
    double side_gain = 0.0;           // 10^(max lift / 20) - 1
    double rest_integrator = 0.0;     // tan(pi rest corner / rate): the sliding filter at rest
    double control_integrator = 0.0;  // the control shelf's corner
    double control_gain = 0.0;        // 1 / (1 + control_integrator)
    double control_shelf = 0.0;       // 10^(shelf / 20) - 1
    double threshold = 1.0;           // the control level where the slide starts, in sample units
    double inverse_threshold = 1.0;
    int slide_power = 1;
    double highest_integrator = 0.0;  // the sliding filter at its highest corner
    double attack = 0.0;              // one-pole smoothing coefficients of the rectified control
    double decay = 0.0;
};

// `rate` at least k_dolby_b_lowest_rate, `dolby_level` the amplitude (in the caller's sample
// units) of a sine at Dolby level; both finite and positive, else the nearest sound values.
DolbyBCoefficients dolby_b_coefficients(const DolbyBDesign& design, double rate,
                                        double dolby_level);

// One channel's state: the sliding filter's and the control filter's integrators and the control
// level. All zero is at rest.
struct DolbyBChannel {
    double slide_state = 0.0;
    double control_state = 0.0;
    double level = 0.0;
};

// The sliding filter's integrator gain for the next sample, from the control level so far.
double dolby_b_slide_integrator(const DolbyBCoefficients& c, const DolbyBChannel& channel);

// Moves the channel on by one sample whose sliding filter gave `high`, computed with the
// integrator gain `integrator`; returns the side path's output.
inline double dolby_b_follow(const DolbyBCoefficients& c, DolbyBChannel& channel, double high,
                             double integrator) {
    channel.slide_state += 2.0 * integrator * high;
    const double side = c.side_gain * high;
    // The control hears the side path through its high shelf, rectified.
    const double control_high = (side - channel.control_state) * c.control_gain;
    channel.control_state += 2.0 * c.control_integrator * control_high;
    const double control = side + c.control_shelf * control_high;
    const double rectified = control < 0.0 ? -control : control;
    const double smoothing = rectified > channel.level ? c.attack : c.decay;
    channel.level += (rectified - channel.level) * smoothing;
    return side;
}

// One sample through the encoder: x + s(x), the sliding filter a trapezoidal one-pole high-pass,
// high = (x - state) / (1 + g).
inline double dolby_b_encode(const DolbyBCoefficients& c, DolbyBChannel& channel, double x) {
    const double integrator = dolby_b_slide_integrator(c, channel);
    const double high = (x - channel.slide_state) / (1.0 + integrator);
    return x + dolby_b_follow(c, channel, high, integrator);
}

// One sample through the decoder: the y with y + s(y) = u. With s(y) = G (y - state) / (1 + g),
// the filter's high-pass output is (u - state) / (1 + g + G) and y = u - G high: one division,
// as in the encoder.
inline double dolby_b_decode(const DolbyBCoefficients& c, DolbyBChannel& channel, double u) {
    const double integrator = dolby_b_slide_integrator(c, channel);
    const double high = (u - channel.slide_state) / (1.0 + integrator + c.side_gain);
    dolby_b_follow(c, channel, high, integrator);
    return u - c.side_gain * high;
}

}  // namespace varnolt
