// Writes the demo: 25 s of music-like stereo material at 44.1 kHz (chords, a melody, drums) as
// the clean version, and the same passed through a model of the faults the plug-in repairs as
// the "tape": a level-dependent treble lift like a recording made with the Dolby B noise
// reduction and played without it, tape hiss, band levels that differ between the channels, a
// right channel that lags by a fraction of a sample (azimuth error) and uncorrelated hiss.
// Deterministic: the same files on every machine.
//
//   varnolt_demo_tape CLEAN.wav TAPE.wav

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr double k_pi = 3.14159265358979323846;
constexpr int k_rate = 44100;
constexpr double k_seconds = 25.0;
constexpr double k_beat = 0.6;  // 100 beats per minute
constexpr double k_peak = 0.6;  // about -4.4 dBFS

// Treble lift of the encoder: up to +10 dB above 2 kHz for quiet treble, less when it is loud.
constexpr double k_lift_corner_hz = 2000.0;
constexpr double k_lift_db = 10.0;
constexpr double k_lift_threshold = 0.06;
constexpr double k_azimuth_lag = 0.45;     // samples the right channel lags
constexpr double k_tape_hiss = 0.0030;     // on the tape: both channels, through the heads
constexpr double k_channel_hiss = 0.0025;  // electronics: different in each channel

struct Stereo {
    std::vector<double> left, right;
    explicit Stereo(std::size_t n) : left(n), right(n) {}
};

// A linear congruential generator: the same noise everywhere.
struct Noise {
    std::uint32_t state;
    double uniform() {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) / 16777216.0;
    }
    double gauss() {
        const double u = std::max(uniform(), 1e-12), v = uniform();
        return std::sqrt(-2 * std::log(u)) * std::cos(2 * k_pi * v);
    }
};

double note_hz(int semitones_from_a4) {
    return 440.0 * std::pow(2.0, semitones_from_a4 / 12.0);
}

void add_chords(Stereo& s) {
    // Am, F, C, G, four beats each; the voices spread across the stereo image.
    const int chords[4][3] = {{-12, -9, -5}, {-16, -12, -9}, {-9, -5, -2}, {-14, -10, -7}};
    const double bar = 4 * k_beat;
    for (std::size_t n = 0; n < s.left.size(); ++n) {
        const double t = static_cast<double>(n) / k_rate;
        const int* chord = chords[static_cast<int>(t / bar) % 4];
        const double into = std::fmod(t, bar);
        const double envelope = std::min(1.0, into / 0.08) * (0.6 + 0.4 * std::exp(-into * 1.5));
        for (int v = 0; v < 3; ++v) {
            const double f = note_hz(chord[v]);
            double voice = 0.0;
            for (int h = 1; h <= 6; ++h) voice += std::sin(2 * k_pi * f * h * t + v) / (h * h);
            const double pan = 0.2 + 0.3 * v;  // 0 left .. 1 right
            s.left[n] += 0.09 * envelope * voice * (1 - pan);
            s.right[n] += 0.09 * envelope * voice * pan;
        }
    }
}

void add_melody(Stereo& s) {
    // A pentatonic line, two notes a beat, plucked, bright, a little left of centre.
    const int line[16] = {0, 3, 5, 7, 10, 7, 5, 3, 12, 10, 7, 5, 3, 5, 7, 0};
    const double step = k_beat / 2;
    for (std::size_t n = 0; n < s.left.size(); ++n) {
        const double t = static_cast<double>(n) / k_rate;
        const int index = static_cast<int>(t / step);
        if (index % 16 == 15) continue;  // a breath at the end of each phrase
        const double into = std::fmod(t, step);
        const double f = note_hz(line[index % 16]);
        const double envelope = std::min(1.0, into / 0.004) * std::exp(-into * 7.0);
        double v = 0.0;
        for (int h = 1; h <= 14; ++h)
            if (f * h < 15000) v += std::sin(2 * k_pi * f * h * into) * std::pow(0.72, h - 1);
        s.left[n] += 0.16 * envelope * v * 0.65;
        s.right[n] += 0.16 * envelope * v * 0.35;
    }
}

void add_drums(Stereo& s, Noise& noise) {
    double hat_state = 0.0;
    for (std::size_t n = 0; n < s.left.size(); ++n) {
        const double t = static_cast<double>(n) / k_rate;
        const double beat_into = std::fmod(t, k_beat);
        const int beat = static_cast<int>(t / k_beat);
        // Kick on every beat: a falling sine.
        const double kick_phase =
            2 * k_pi * (45 * beat_into + 75 / 18.0 * (1 - std::exp(-18 * beat_into)));
        const double kick = std::sin(kick_phase) * std::exp(-beat_into * 9);
        // Snare on beats 2 and 4: a tone and noise.
        const double snare =
            beat % 2 == 1 ? (0.5 * std::sin(2 * k_pi * 185 * beat_into) + noise.gauss() * 0.6) *
                                std::exp(-beat_into * 22)
                          : 0.0;
        // Hi-hat on every half beat: differentiated noise, short, right of centre.
        const double hat_into = std::fmod(t, k_beat / 2);
        const double white = noise.gauss();
        const double hat = (white - hat_state) * std::exp(-hat_into * 60);
        hat_state = white;
        s.left[n] += 0.22 * kick + 0.12 * snare + 0.03 * hat;
        s.right[n] += 0.22 * kick + 0.12 * snare + 0.07 * hat;
    }
}

void normalise(Stereo& s) {
    double peak = 1e-9;
    for (std::size_t n = 0; n < s.left.size(); ++n)
        peak = std::max({peak, std::fabs(s.left[n]), std::fabs(s.right[n])});
    for (std::size_t n = 0; n < s.left.size(); ++n) {
        s.left[n] *= k_peak / peak;
        s.right[n] *= k_peak / peak;
    }
}

// Adds the treble above the corner once more, by a factor that falls as the treble grows:
// quiet treble gets up to +10 dB, loud treble little, as an encoder's sliding shelf does.
void lift_treble(std::vector<double>& x) {
    const double a = std::exp(-2 * k_pi * k_lift_corner_hz / k_rate);
    const double attack = 1 - std::exp(-1.0 / (0.002 * k_rate));
    const double release = 1 - std::exp(-1.0 / (0.08 * k_rate));
    const double most = std::pow(10.0, k_lift_db / 20) - 1;
    double low = 0.0, envelope = 0.0;
    for (double& v : x) {
        low = (1 - a) * v + a * low;
        const double high = v - low;
        const double level = std::fabs(high);
        envelope += (level > envelope ? attack : release) * (level - envelope);
        v += most / (1 + envelope / k_lift_threshold) * high;
    }
}

// A peaking equaliser (RBJ), `gain_db` at `hz`, run forward and backward so that it changes the
// band's level without shifting its phase (the azimuth error stays the only delay).
void peaking_pass(std::vector<double>& x, double hz, double gain_db, double q) {
    const double A = std::pow(10.0, gain_db / 40), w = 2 * k_pi * hz / k_rate;
    const double alpha = std::sin(w) / (2 * q), c = std::cos(w);
    const double b0 = 1 + alpha * A, b1 = -2 * c, b2 = 1 - alpha * A;
    const double a0 = 1 + alpha / A, a1 = -2 * c, a2 = 1 - alpha / A;
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    for (double& v : x) {
        const double y = (b0 * v + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2) / a0;
        x2 = x1;
        x1 = v;
        y2 = y1;
        y1 = y;
        v = y;
    }
}

// Delays by a fraction of a sample with a Hann-windowed sinc of 63 taps.
void fractional_delay(std::vector<double>& x, double lag) {
    constexpr int half = 31;
    double taps[2 * half + 1];
    for (int k = -half; k <= half; ++k) {
        const double u = k - lag;
        const double sinc = std::fabs(u) < 1e-12 ? 1.0 : std::sin(k_pi * u) / (k_pi * u);
        taps[k + half] = sinc * (0.5 + 0.5 * std::cos(k_pi * u / (half + 1)));
    }
    const std::vector<double> in = x;
    const long n = static_cast<long>(x.size());
    for (long i = 0; i < n; ++i) {
        double sum = 0.0;
        for (int k = -half; k <= half; ++k)
            if (i - k >= 0 && i - k < n) sum += taps[k + half] * in[i - k];
        x[i] = sum;
    }
}

void peaking(std::vector<double>& x, double hz, double gain_db, double q) {
    peaking_pass(x, hz, gain_db / 2, q);
    std::reverse(x.begin(), x.end());
    peaking_pass(x, hz, gain_db / 2, q);
    std::reverse(x.begin(), x.end());
}

bool write(const char* path, const Stereo& s) {
    SF_INFO info = {};
    info.channels = 2;
    info.samplerate = k_rate;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path, SFM_WRITE, &info);
    if (!f) return false;
    std::vector<double> frames(2 * s.left.size());
    for (std::size_t n = 0; n < s.left.size(); ++n) {
        frames[2 * n] = std::clamp(s.left[n], -1.0, 1.0);
        frames[2 * n + 1] = std::clamp(s.right[n], -1.0, 1.0);
    }
    const bool ok =
        sf_writef_double(f, frames.data(), s.left.size()) == static_cast<sf_count_t>(s.left.size());
    return sf_close(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: varnolt_demo_tape CLEAN.wav TAPE.wav\n");
        return 2;
    }
    Noise noise{1984};
    Stereo clean(static_cast<std::size_t>(k_seconds * k_rate));
    add_chords(clean);
    add_melody(clean);
    add_drums(clean, noise);
    normalise(clean);

    Stereo tape = clean;
    for (std::vector<double>* channel : {&tape.left, &tape.right}) {
        lift_treble(*channel);
        for (double& v : *channel) v += noise.gauss() * k_tape_hiss;
    }
    peaking(tape.left, 500, -2.0, 1.0);
    peaking(tape.right, 5000, -3.0, 0.9);
    fractional_delay(tape.right, k_azimuth_lag);
    for (double& v : tape.left) v += noise.gauss() * k_channel_hiss;
    for (double& v : tape.right) v += noise.gauss() * k_channel_hiss;

    if (!write(argv[1], clean) || !write(argv[2], tape)) {
        std::fprintf(stderr, "varnolt_demo_tape: cannot write %s or %s\n", argv[1], argv[2]);
        return 1;
    }
    return 0;
}
