#pragma once
// Minimal RIFF/WAVE reading and writing of integer PCM for the stand-in host and the Windows
// build of the tool, which run where the project's audio-file library is not available.

#include <cstdint>
#include <cstdio>
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

// Where a WAVE file keeps its samples.
struct WavLayout {
    int channels = 0;
    int sample_rate = 0;
    int bits = 0;
    long long data_offset = 0;    // bytes from the start of the file
    long long data_bytes = 0;     // whole frames the file holds
    long long claimed_bytes = 0;  // what the data chunk's header promises

    int bytes_per_frame() const { return channels * bits / 8; }
};

// Walks the chunks of an open PCM WAVE file (format 1, or extensible with the PCM sub-format)
// up to its data chunk and leaves the file there. False with a one-line reason naming `path`.
bool read_wav_layout(std::FILE* file, const std::string& path, WavLayout& layout,
                     std::string& error);

// The canonical 44-byte header of a PCM WAVE file holding `data_bytes` of samples.
std::vector<std::uint8_t> wav_header(int channels, int sample_rate, int bits,
                                     std::uint32_t data_bytes);

// Reads a PCM WAVE file as far as it goes. On failure returns false with a one-line reason in
// `error`.
bool read_wav(const std::string& path, PcmAudio& audio, std::string& error);

// Writes `audio` as a canonical PCM WAVE file.
bool write_wav(const std::string& path, const PcmAudio& audio, std::string& error);
