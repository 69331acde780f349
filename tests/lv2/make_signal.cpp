// Writes a float WAV that exercises every stage: music-like tones whose treble depends on the
// level (what a Dolby B recording played without decoding sounds like), hiss that differs
// between the channels, and a right channel that lags by a fraction of a sample.
//   lv2_make_signal OUT.wav CHANNELS RATE SECONDS

#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s OUT.wav CHANNELS RATE SECONDS\n", argv[0]);
        return 2;
    }
    const int channels = std::atoi(argv[2]);
    const int rate = std::atoi(argv[3]);
    const double seconds = std::atof(argv[4]);
    if (channels < 1 || channels > 2 || rate <= 0 || !(seconds > 0.0)) return 2;
    const long frames = static_cast<long>(seconds * rate);

    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(argv[1], SFM_WRITE, &info);
    if (file == nullptr) {
        std::fprintf(stderr, "cannot write %s: %s\n", argv[1], sf_strerror(nullptr));
        return 1;
    }
    const double two_pi = 2.0 * std::acos(-1.0);
    unsigned seed = 12345;
    const auto noise = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return static_cast<int>(seed >> 8) / 8388608.0 - 1.0;  // -1 .. 1
    };
    const auto music = [&](double t) {
        const double envelope = 0.5 + 0.45 * std::sin(two_pi * 0.7 * t);
        const double low = std::sin(two_pi * 220.0 * t) + 0.6 * std::sin(two_pi * 330.0 * t);
        const double high = std::sin(two_pi * 4400.0 * t) + 0.5 * std::sin(two_pi * 9000.0 * t);
        // Quiet passages carry relatively more treble: the encoder's lift.
        return 0.25 * envelope * low + 0.08 * (1.2 - envelope) * high;
    };
    const double lag = 0.45 / rate;
    std::vector<float> frame(channels);
    for (long n = 0; n < frames; ++n) {
        const double t = static_cast<double>(n) / rate;
        const double hiss_left = 0.01 * noise();
        const double hiss_right = 0.01 * noise();
        if (channels == 2) {
            frame[0] = static_cast<float>(music(t) + hiss_left);
            frame[1] = static_cast<float>(0.9 * music(t - lag) + hiss_right);
        } else {
            frame[0] = static_cast<float>(music(t) + 0.5 * (hiss_left + hiss_right));
        }
        if (sf_writef_float(file, frame.data(), 1) != 1) {
            sf_close(file);
            return 1;
        }
    }
    return sf_close(file) == 0 ? 0 : 1;
}
