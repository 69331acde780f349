// varnolt_dolby_mismatch: what the standard decoder leaves when a tape was encoded by a unit that
// differs from its model, yet meets the published test points within their tolerance (every
// point's min..max), or when the Dolby level it is given is off. Each clean recording is encoded
// at Dolby level -21 dBFS by a variant of the model and decoded by the model itself; the 1-16 kHz
// octave bands' error against the clean recording is printed (octave_bands.h), for the whole
// recording and for each half (a quiet then loud recording's two passages).
//
//   varnolt_dolby_mismatch CLEAN...

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "dolby_b_points.h"
#include "octave_bands.h"
#include "sound_file.h"

namespace {

using varnolt::DolbyBDesign;
using varnolt::k_dolby_b_design;
using namespace varnolt_tools;

constexpr double k_dolby_dbfs = -21;

struct Variant {
    std::string name;
    DolbyBDesign encoder;
    double level_error_db;  // the decoder's Dolby level less the encoder's
};

std::vector<Variant> variants() {
    std::vector<Variant> v;
    auto with = [&](const std::string& name, auto change) {
        DolbyBDesign d = k_dolby_b_design;
        change(d);
        v.push_back({name, d, 0});
    };
    with("the model itself", [](DolbyBDesign&) {});
    with("threshold 2 dB lower", [](DolbyBDesign& d) { d.threshold_db -= 2; });
    with("threshold 2 dB higher", [](DolbyBDesign& d) { d.threshold_db += 2; });
    with("lift 0.5 dB less", [](DolbyBDesign& d) { d.max_lift_db -= 0.5; });
    with("lift 0.5 dB more", [](DolbyBDesign& d) { d.max_lift_db += 0.5; });
    with("rest corner x 0.8", [](DolbyBDesign& d) { d.rest_corner_hz *= 0.8; });
    with("rest corner x 1.25", [](DolbyBDesign& d) { d.rest_corner_hz *= 1.25; });
    with("attack 1 ms", [](DolbyBDesign& d) { d.attack_seconds = 0.001; });
    with("attack 4 ms", [](DolbyBDesign& d) { d.attack_seconds = 0.004; });
    with("decay 30 ms", [](DolbyBDesign& d) { d.decay_seconds = 0.030; });
    with("decay 120 ms", [](DolbyBDesign& d) { d.decay_seconds = 0.120; });
    with("slide power 4", [](DolbyBDesign& d) { d.slide_power = 4; });
    for (double off : {-3.0, -1.0, 1.0, 3.0}) {
        char name[64];
        std::snprintf(name, sizeof name, "decoded at Dolby level %+.0f dB", off);
        v.push_back({name, k_dolby_b_design, off});
    }
    return v;
}

// The variant's largest distance from the points' typical values, and whether every point lies
// within its min..max, at 44.1 kHz.
double worst_point(const DolbyBDesign& d, bool& within) {
    double worst = 0;
    within = true;
    for (const DolbyBTestPoint& p : k_dolby_b_points) {
        const double out = encoded_tone_db(d, 44100, p.hz, p.input_db);
        within = within && out >= p.output_min_db && out <= p.output_max_db;
        if (std::fabs(out - p.output_typical_db) > std::fabs(worst))
            worst = out - p.output_typical_db;
    }
    return worst;
}

Sound round_trip(const Sound& clean, const Variant& v) {
    const double level = std::pow(10.0, k_dolby_dbfs / 20);
    const varnolt::DolbyBCoefficients enc =
        varnolt::dolby_b_coefficients(v.encoder, clean.rate, level);
    const varnolt::DolbyBCoefficients dec = varnolt::dolby_b_coefficients(
        k_dolby_b_design, clean.rate, level * std::pow(10.0, v.level_error_db / 20));
    Sound out = clean;
    for (int c = 0; c < clean.channels; ++c) {
        varnolt::DolbyBChannel e, d;
        for (std::size_t n = 0; n < clean.frames(); ++n) {
            float& x = out.samples[n * clean.channels + c];
            const float encoded = static_cast<float>(varnolt::dolby_b_encode(enc, e, x));
            x = static_cast<float>(varnolt::dolby_b_decode(dec, d, encoded));
        }
    }
    return out;
}

double band_error(const Sound& clean, const Sound& restored, std::size_t from, std::size_t to) {
    band_comparison result;
    const char* error = nullptr;
    if (!compare_octave_bands(clean, restored, from, to, result, error)) return NAN;
    return result.band_error_db;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: varnolt_dolby_mismatch CLEAN...\n");
        return 2;
    }
    std::vector<Sound> sounds;
    for (int i = 1; i < argc; ++i) {
        Sound s;
        std::string error;
        if (!read_sound(argv[i], s, error)) {
            std::fprintf(stderr, "varnolt_dolby_mismatch: %s\n", error.c_str());
            return 1;
        }
        sounds.push_back(std::move(s));
    }
    std::printf("| encoder | worst point re typical | ");
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        std::printf("%s (whole / first half / second half) | ",
                    name.substr(name.find_last_of('/') + 1).c_str());
    }
    std::printf("\n");
    for (const Variant& v : variants()) {
        bool within = true;
        const double worst = worst_point(v.encoder, within);
        std::printf("| %s | %+.2f dB%s | ", v.name.c_str(), worst, within ? "" : " (outside)");
        for (const Sound& s : sounds) {
            const Sound restored = round_trip(s, v);
            const std::size_t half = s.frames() / 2;
            std::printf("%.1f / %.1f / %.1f | ", band_error(s, restored, 0, s.frames()),
                        band_error(s, restored, 0, half),
                        band_error(s, restored, half, s.frames()));
        }
        std::printf("\n");
        std::fflush(stdout);
    }
    return 0;
}
