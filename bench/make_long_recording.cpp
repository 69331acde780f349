// Writes a long stereo recording for the memory measurement of the tool: quiet noise with a
// slowly wandering tone in each channel, generated and written a block at a time so that even a
// two-hour file takes no memory to make.
//
//   varnolt_long_recording OUT.wav MINUTES [RATE] [BITS]

#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int k_block_frames = 65536;
constexpr double k_pi = 3.14159265358979323846;

int usage() {
    std::fprintf(stderr, "usage: varnolt_long_recording OUT.wav MINUTES [RATE] [BITS]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return usage();
    const double minutes = std::atof(argv[2]);
    const int rate = argc > 3 ? std::atoi(argv[3]) : 96000;
    const int bits = argc > 4 ? std::atoi(argv[4]) : 24;
    if (!(minutes > 0 && minutes <= 24 * 60) || rate < 8000 || rate > 384000 ||
        (bits != 16 && bits != 24))
        return usage();
    SF_INFO info = {};
    info.channels = 2;
    info.samplerate = rate;
    info.format = SF_FORMAT_WAV | (bits == 16 ? SF_FORMAT_PCM_16 : SF_FORMAT_PCM_24);
    // Beyond 4 GB a plain WAV cannot say its length: RF64 can.
    const double bytes = minutes * 60 * rate * 2 * bits / 8;
    if (bytes > 4.0e9) info.format = SF_FORMAT_RF64 | (info.format & SF_FORMAT_SUBMASK);
    SNDFILE* file = sf_open(argv[1], SFM_WRITE, &info);
    if (file == nullptr) {
        std::fprintf(stderr, "%s: %s\n", argv[1], sf_strerror(nullptr));
        return 1;
    }
    const long long frames = static_cast<long long>(minutes * 60 * rate);
    std::minstd_rand generator(7);
    std::normal_distribution<double> noise(0.0, 0.01);
    std::vector<double> block(2 * k_block_frames);
    for (long long done = 0; done < frames;) {
        const long long n = std::min<long long>(k_block_frames, frames - done);
        for (long long i = 0; i < n; ++i) {
            const double t = static_cast<double>(done + i) / rate;
            // A tone that sweeps 200 Hz .. 5 kHz once a minute, the right channel a little late.
            const double f = 200.0 + 4800.0 * (0.5 - 0.5 * std::cos(2 * k_pi * t / 60.0));
            block[2 * i] = 0.2 * std::sin(2 * k_pi * f * t) + noise(generator);
            block[2 * i + 1] = 0.2 * std::sin(2 * k_pi * f * (t - 1e-5)) + noise(generator);
        }
        if (sf_writef_double(file, block.data(), n) != n) {
            std::fprintf(stderr, "%s: %s\n", argv[1], sf_strerror(file));
            sf_close(file);
            return 1;
        }
        done += n;
    }
    return sf_close(file) == 0 ? 0 : 1;
}
