#pragma once
// Listening through the sample path as the player does: a stereo programme with hiss that
// differs between the channels (as an FM broadcast taped off the air has) is played block by
// block through modify_samples, and the output is measured.

#include <cstdint>
#include <vector>

namespace varnolt::testing {

struct Loudness {
    double rms = 0.0;         // of the output, full scale 1
    double zero_share = 0.0;  // samples stored as exactly 0
    double rail_share = 0.0;  // samples at the format's limits
};

class Listener {
  public:
    explicit Listener(int rate = 44100) : rate_(rate) {}

    // Plays the next `seconds` of the programme in the player's blocks of 576 frames and keeps
    // the 16-bit stereo output.
    std::vector<std::int16_t> play(double seconds);
    // Plays and measures the output of the last `measured` seconds of the `seconds` played.
    Loudness listen(double seconds, double measured);

    int rate() const { return rate_; }

  private:
    int rate_;
    long long frame_ = 0;
};

Loudness measure(const std::vector<std::int16_t>& samples, std::size_t first);

// The programme's sample n of `channel` (0 left, 1 right) in 16-bit units at `rate`: two tones
// both channels share, a treble one the Dolby B remover reacts to, and hiss that differs
// between the channels.
double programme(long long n, int channel, int rate);

}  // namespace varnolt::testing
