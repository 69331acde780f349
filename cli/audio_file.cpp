#include "audio_file.h"

#include <cstdio>

namespace varnolt::cli {

std::string missing_text(double read_frames, double promised_frames, int sample_rate) {
    char text[160];
    std::snprintf(text, sizeof text, "only %.1f s of %.1f s could be read",
                  read_frames / sample_rate, promised_frames / sample_rate);
    return text;
}

}  // namespace varnolt::cli
