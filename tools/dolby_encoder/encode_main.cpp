// varnolt_dolby_encode: encodes a file as a Dolby B recorder would have put it on tape (see
// dolby_b_encoder.h for the law), channels independent, for the Dolby B remover's tests.
//
//   varnolt_dolby_encode [--reference-level DBFS] [--bits 24|32] IN OUT
//
// --reference-level is Dolby level in dB re full scale: the peak level of a sine at the tape's
// reference flux (default -15). OUT is a WAV of 32-bit floating-point samples, or of 24-bit
// integers with --bits 24 (refused when the lift took a sample past full scale).

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "dolby_b_encoder.h"
#include "number_argument.h"
#include "sound_file.h"

namespace {

using varnolt_tools::parse_number;

using varnolt_tools::dolby_b_constants;

int usage() {
    std::fprintf(stderr,
                 "usage: varnolt_dolby_encode [--reference-level DBFS] [--bits 24|32] IN OUT\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    double reference_dbfs = dolby_b_constants::default_reference_dbfs;
    double bits = 32;
    std::string paths[2];
    int path_count = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--reference-level") {
            // Dolby level is a level below full scale; far below it everything counts as loud.
            if (i + 1 >= argc || !parse_number(argv[++i], reference_dbfs) || reference_dbfs > 0 ||
                reference_dbfs < -60) {
                std::fprintf(stderr, "varnolt_dolby_encode: --reference-level takes -60..0 dBFS\n");
                return 2;
            }
        } else if (arg == "--bits") {
            if (i + 1 >= argc || !parse_number(argv[++i], bits) || (bits != 24 && bits != 32))
                return usage();
        } else if (path_count < 2 && !(arg.size() > 1 && arg[0] == '-')) {
            paths[path_count++] = arg;
        } else {
            return usage();
        }
    }
    if (path_count != 2) return usage();

    varnolt_tools::Sound sound;
    std::string error;
    if (!varnolt_tools::read_sound(paths[0], sound, error)) {
        std::fprintf(stderr, "varnolt_dolby_encode: %s\n", error.c_str());
        return 1;
    }
    if (sound.rate < dolby_b_constants::min_rate) {
        std::fprintf(stderr,
                     "varnolt_dolby_encode: %s: %d Hz is below the %g Hz the encoder needs\n",
                     paths[0].c_str(), sound.rate, dolby_b_constants::min_rate);
        return 1;
    }
    const long bad = varnolt_tools::first_non_finite(sound);
    if (bad >= 0) {
        std::fprintf(stderr, "varnolt_dolby_encode: %s: sample %ld is not a finite number\n",
                     paths[0].c_str(), bad);
        return 1;
    }
    for (int c = 0; c < sound.channels; ++c) {
        varnolt_tools::DolbyBEncoder encoder(sound.rate, reference_dbfs);
        encoder.process(sound.samples.data() + c, sound.frames(),
                        static_cast<std::size_t>(sound.channels));
    }
    if (!varnolt_tools::write_sound(paths[1], sound, static_cast<int>(bits), error)) {
        std::fprintf(stderr, "varnolt_dolby_encode: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
