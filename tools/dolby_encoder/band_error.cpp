// varnolt_band_error: the error of a restoration's 1-16 kHz octave bands against the clean
// recording (the measures are defined in octave_bands.h).
//
//   varnolt_band_error [--from S] [--to S] [--terse] CLEAN RESTORED
//
// --from and --to limit the comparison to a passage (seconds). --terse prints only the band error
// and the level difference in dB, for scripts.

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

#include "octave_bands.h"
#include "sound_file.h"

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: varnolt_band_error [--from S] [--to S] [--terse] CLEAN RESTORED\n");
    return 2;
}

bool parse_seconds(const char* text, double& value) {
    char* end = nullptr;
    value = std::strtod(text, &end);
    return end != text && *end == '\0' && std::isfinite(value) && value >= 0;
}

}  // namespace

int main(int argc, char** argv) {
    double from = 0, to = std::numeric_limits<double>::infinity();
    bool terse = false;
    std::string paths[2];
    int path_count = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--from" || arg == "--to") {
            if (i + 1 >= argc || !parse_seconds(argv[++i], arg == "--from" ? from : to))
                return usage();
        } else if (arg == "--terse") {
            terse = true;
        } else if (path_count < 2 && !(arg.size() > 1 && arg[0] == '-')) {
            paths[path_count++] = arg;
        } else {
            return usage();
        }
    }
    if (path_count != 2 || !(from < to)) return usage();

    varnolt_tools::Sound clean, restored;
    std::string read_error;
    if (!varnolt_tools::read_sound(paths[0], clean, read_error) ||
        !varnolt_tools::read_sound(paths[1], restored, read_error)) {
        std::fprintf(stderr, "varnolt_band_error: %s\n", read_error.c_str());
        return 1;
    }
    if (clean.frames() != restored.frames())
        std::fprintf(stderr,
                     "varnolt_band_error: the recordings differ in length (%zu and %zu "
                     "frames); comparing the common part\n",
                     clean.frames(), restored.frames());
    const double last = static_cast<double>(clean.frames());
    const std::size_t from_frame = static_cast<std::size_t>(std::fmin(from * clean.rate, last));
    const std::size_t to_frame = static_cast<std::size_t>(std::fmin(to * clean.rate, last));
    varnolt_tools::band_comparison result;
    const char* error = "";
    if (!varnolt_tools::compare_octave_bands(clean, restored, from_frame, to_frame, result,
                                             error)) {
        std::fprintf(stderr, "varnolt_band_error: %s\n", error);
        return 1;
    }
    if (terse)
        std::printf("%.2f %.2f\n", result.band_error_db, result.level_difference_db);
    else
        std::printf("band error %.2f dB, band levels off by %.2f dB on average (%zu windows)\n",
                    result.band_error_db, result.level_difference_db, result.windows);
    return 0;
}
