// Measures how far a tape and its restoration are from the clean version of the demo: the
// treble above the clean version's, the delay between the channels, and the hiss in the side
// channel (left minus right), and how much closer the restoration came.
//
//   varnolt_demo_compare CLEAN.wav TAPE.wav RESTORED.wav [--check]
//
// With --check it exits 1 unless the restoration is closer on every measure.

#include <sndfile.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "processors/fft.h"

namespace {

constexpr double k_pi = 3.14159265358979323846;
constexpr int k_log2_size = 12;
constexpr int k_size = 1 << k_log2_size;
constexpr double k_treble_low_hz = 4000, k_treble_high_hz = 12000;
constexpr double k_delay_low_hz = 300, k_delay_high_hz = 8000;
constexpr double k_hiss_low_hz = 6000, k_hiss_high_hz = 16000;

struct Sound {
    int rate = 0;
    std::vector<double> left, right;
};

bool read(const char* path, Sound& s) {
    SF_INFO info = {};
    SNDFILE* f = sf_open(path, SFM_READ, &info);
    if (!f || info.channels != 2) {
        if (f) sf_close(f);
        return false;
    }
    std::vector<double> frames(static_cast<std::size_t>(info.frames) * 2);
    sf_readf_double(f, frames.data(), info.frames);
    sf_close(f);
    s.rate = info.samplerate;
    for (std::size_t n = 0; n + 1 < frames.size(); n += 2) {
        s.left.push_back(frames[n]);
        s.right.push_back(frames[n + 1]);
    }
    return true;
}

// Long-term spectra of one recording: power of left + right, of the side channel, and the
// cross spectrum of left and right, per bin.
struct Spectra {
    double bin_hz = 0;
    std::vector<double> power, side;
    std::vector<std::complex<double>> cross;
};

Spectra spectra_of(const Sound& s) {
    Spectra out;
    out.bin_hz = static_cast<double>(s.rate) / k_size;
    out.power.assign(k_size / 2, 0.0);
    out.side.assign(k_size / 2, 0.0);
    out.cross.assign(k_size / 2, 0.0);
    std::vector<varnolt::complex_lr> block(k_size);
    for (std::size_t start = 0; start + k_size <= s.left.size(); start += k_size / 2) {
        for (int i = 0; i < k_size; ++i) {
            const double w = 0.5 - 0.5 * std::cos(2 * k_pi * i / k_size);
            block[i] = {s.left[start + i] * w, 0.0, s.right[start + i] * w, 0.0};
        }
        varnolt::fft(block.data(), k_log2_size, false);
        for (int k = 0; k < k_size / 2; ++k) {
            const std::complex<double> l(block[k].left_re, block[k].left_im);
            const std::complex<double> r(block[k].right_re, block[k].right_im);
            out.power[k] += std::norm(l) + std::norm(r);
            out.side[k] += std::norm(l - r);
            out.cross[k] += l * std::conj(r);
        }
    }
    return out;
}

double band(const std::vector<double>& p, const Spectra& s, double low, double high) {
    double sum = 0.0;
    for (int k = static_cast<int>(low / s.bin_hz); k <= static_cast<int>(high / s.bin_hz); ++k)
        sum += p[k];
    return sum;
}

// How much later the right channel is than the left, in samples: the weighted slope of the
// cross spectrum's phase over frequency.
double channel_delay(const Spectra& s) {
    double num = 0.0, den = 0.0;
    for (int k = static_cast<int>(k_delay_low_hz / s.bin_hz);
         k <= static_cast<int>(k_delay_high_hz / s.bin_hz); ++k) {
        const double omega = 2 * k_pi * k / k_size;  // radians per sample
        const double weight = std::abs(s.cross[k]);
        num += weight * omega * std::arg(s.cross[k]);
        den += weight * omega * omega;
    }
    return den > 0 ? num / den : 0.0;
}

struct Measures {
    double treble_db, delay, side_hiss_db;
};

Measures measure(const Spectra& file, const Spectra& clean) {
    return {10 * std::log10(band(file.power, file, k_treble_low_hz, k_treble_high_hz) /
                            band(clean.power, clean, k_treble_low_hz, k_treble_high_hz)),
            channel_delay(file) - channel_delay(clean),
            10 * std::log10(band(file.side, file, k_hiss_low_hz, k_hiss_high_hz) /
                            band(clean.side, clean, k_hiss_low_hz, k_hiss_high_hz))};
}

double closer_db(double tape, double restored) {
    return 20 * std::log10(std::fabs(tape) / std::max(std::fabs(restored), 1e-6));
}

}  // namespace

int main(int argc, char** argv) {
    const bool check = argc == 5 && std::strcmp(argv[4], "--check") == 0;
    if (argc != 4 && !check) {
        std::fprintf(stderr,
                     "usage: varnolt_demo_compare CLEAN.wav TAPE.wav RESTORED.wav [--check]\n");
        return 2;
    }
    Sound clean, tape, restored;
    for (auto [path, sound] : {std::pair{argv[1], &clean}, {argv[2], &tape}, {argv[3], &restored}})
        if (!read(path, *sound)) {
            std::fprintf(stderr, "varnolt_demo_compare: cannot read %s as a stereo file\n", path);
            return 2;
        }
    const Spectra c = spectra_of(clean);
    const Measures t = measure(spectra_of(tape), c);
    const Measures r = measure(spectra_of(restored), c);
    // Treble and hiss are compared in dB above the clean version; each "closer" figure is how
    // much smaller the restoration's distance from the clean version is than the tape's.
    std::printf("                          tape   restored   closer by\n");
    std::printf("treble excess        %+7.2f dB %+7.2f dB   %5.1f dB\n", t.treble_db, r.treble_db,
                std::fabs(t.treble_db) - std::fabs(r.treble_db));
    std::printf("inter-channel delay  %7.3f    %7.3f      %5.1f dB  (samples)\n", t.delay, r.delay,
                closer_db(t.delay, r.delay));
    std::printf("side-channel hiss    %+7.2f dB %+7.2f dB   %5.1f dB\n", t.side_hiss_db,
                r.side_hiss_db, std::fabs(t.side_hiss_db) - std::fabs(r.side_hiss_db));
    const bool closer = std::fabs(r.treble_db) < std::fabs(t.treble_db) &&
                        std::fabs(r.delay) < std::fabs(t.delay) &&
                        std::fabs(r.side_hiss_db) < std::fabs(t.side_hiss_db);
    return check && !closer ? 1 : 0;
}
