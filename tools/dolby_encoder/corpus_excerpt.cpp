// varnolt_corpus_excerpt: cuts the corpus's material from a longer file (a game soundtrack read
// through libsndfile, MP3 and OGG included), makes it stereo and sets its level, so that the
// corpus script needs no decoder of its own.
//
//   varnolt_corpus_excerpt [--start S] [--length S] [--peak DBFS] [--gain DB] [--bits 24|32]
//                          [--rate HZ] IN OUT
//
// --rate raises the rate by a whole factor (upsample.h) before the rest; a rate that is not a
// whole multiple of the input's fails.
// --peak scales the excerpt so that its highest sample sits at DBFS; --gain is applied after it
// (the transfer level). A mono input is copied to both channels; more than two channels fail.
// OUT is a WAV at the input's rate, of 32-bit floating-point samples or (--bits 24) of 24-bit
// integers, refused when a sample lies past full scale.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "number_argument.h"
#include "sound_file.h"
#include "upsample.h"

namespace {

using varnolt_tools::parse_number;

int usage() {
    std::fprintf(stderr,
                 "usage: varnolt_corpus_excerpt [--start S] [--length S] [--peak DBFS] "
                 "[--gain DB] [--bits 24|32] [--rate HZ] IN OUT\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    double start = 0, length = -1, gain_db = 0, peak_dbfs = 0, bits = 32, rate = 0;
    bool normalise = false;
    std::string paths[2];
    int path_count = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        double* target = arg == "--start"    ? &start
                         : arg == "--length" ? &length
                         : arg == "--gain"   ? &gain_db
                         : arg == "--peak"   ? &peak_dbfs
                         : arg == "--bits"   ? &bits
                         : arg == "--rate"   ? &rate
                                             : nullptr;
        if (target) {
            if (i + 1 >= argc || !parse_number(argv[++i], *target)) return usage();
            if (target == &peak_dbfs) normalise = true;
        } else if (path_count < 2 && !(arg.size() > 1 && arg[0] == '-')) {
            paths[path_count++] = arg;
        } else {
            return usage();
        }
    }
    if (path_count != 2 || start < 0 || (bits != 24 && bits != 32)) return usage();

    varnolt_tools::Sound in;
    std::string error;
    if (!varnolt_tools::read_sound(paths[0], in, error)) {
        std::fprintf(stderr, "varnolt_corpus_excerpt: %s\n", error.c_str());
        return 1;
    }
    if (in.channels < 1 || in.channels > 2 || varnolt_tools::first_non_finite(in) >= 0) {
        std::fprintf(stderr,
                     "varnolt_corpus_excerpt: %s: needs one or two channels of finite "
                     "samples\n",
                     paths[0].c_str());
        return 1;
    }
    const std::size_t first = static_cast<std::size_t>(std::llround(start * in.rate));
    if (first >= in.frames()) {
        std::fprintf(stderr, "varnolt_corpus_excerpt: %s is shorter than %g s\n", paths[0].c_str(),
                     start);
        return 1;
    }
    std::size_t count = in.frames() - first;
    if (length >= 0)
        count = std::min(count, static_cast<std::size_t>(std::llround(length * in.rate)));

    varnolt_tools::Sound out;
    out.rate = in.rate;
    out.channels = 2;
    out.samples.resize(count * 2);
    for (std::size_t n = 0; n < count; ++n)
        for (int c = 0; c < 2; ++c)
            out.samples[n * 2 + c] =
                in.samples[(first + n) * in.channels + std::min(c, in.channels - 1)];
    // The excerpt alone is raised: a whole soundtrack would take seconds.
    if (rate > 0) {
        const double factor = rate / out.rate;
        if (factor < 1 || factor != std::floor(factor) || factor > 16) {
            std::fprintf(stderr,
                         "varnolt_corpus_excerpt: %s: %g Hz is not a whole multiple of %d Hz\n",
                         paths[0].c_str(), rate, out.rate);
            return 1;
        }
        out = varnolt_tools::upsample(out, static_cast<int>(factor));
    }
    float peak = 0;
    for (const float x : out.samples) peak = std::max(peak, std::fabs(x));
    double scale = std::pow(10.0, gain_db / 20);
    if (normalise) {
        if (peak == 0) {
            std::fprintf(stderr, "varnolt_corpus_excerpt: %s: the excerpt is silent\n",
                         paths[0].c_str());
            return 1;
        }
        scale *= std::pow(10.0, peak_dbfs / 20) / peak;
    }
    for (float& x : out.samples) x = static_cast<float>(x * scale);
    if (!varnolt_tools::write_sound(paths[1], out, static_cast<int>(bits), error)) {
        std::fprintf(stderr, "varnolt_corpus_excerpt: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
