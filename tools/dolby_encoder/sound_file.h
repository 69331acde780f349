// Whole files in and out through libsndfile, for the test tools: they hold a 30 s excerpt at a
// time, so reading everything at once keeps them short.
#pragma once

#include <string>
#include <vector>

namespace varnolt_tools {

struct Sound {
    int rate = 0;
    int channels = 0;
    std::vector<float> samples;  // interleaved
    std::size_t frames() const { return channels ? samples.size() / channels : 0; }
};

// False with a message in `error` when the file cannot be read whole.
bool read_sound(const std::string& path, Sound& sound, std::string& error);
// Writes a WAV of 32-bit floating-point samples (bits 32) or of 24-bit integers (bits 24). The
// encoder's lift may take a sample past full scale, which an integer format would clip: then the
// 24-bit file is not written and the error says so, rather than a corrupted recording passing.
bool write_sound(const std::string& path, const Sound& sound, int bits, std::string& error);
// Index of the first NaN or infinity, or -1 when every sample is finite.
long first_non_finite(const Sound& sound);

}  // namespace varnolt_tools
