#pragma once
// Minimal RIFF/WAVE reading and writing of integer PCM for the stand-in host, which runs under
// Windows where the project's audio-file library is not available.

#include <cstdint>
#include <string>
#include <vector>

struct PcmAudio {
    int channels = 0;
    int sample_rate = 0;
    int bits = 0;                     // 8 (unsigned), 16, 24 or 32 (signed), little-endian
    std::vector<std::uint8_t> bytes;  // interleaved frames as stored in the file

    int bytes_per_frame() const { return channels * bits / 8; }
    long long frames() const { return bytes_per_frame() ? bytes.size() / bytes_per_frame() : 0; }
};

// Reads a PCM WAVE file (format 1, or extensible with the PCM sub-format). On failure returns
// false with a one-line reason in `error`.
bool read_wav(const std::string& path, PcmAudio& audio, std::string& error);

// Writes `audio` as a canonical PCM WAVE file.
bool write_wav(const std::string& path, const PcmAudio& audio, std::string& error);
