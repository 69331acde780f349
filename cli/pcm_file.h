#pragma once
// Audio files for the command-line tool, read and written through libsndfile and held in the
// player's packed block layout (8-bit unsigned, 16/24/32-bit signed little-endian).

#include <cstdint>
#include <string>
#include <vector>

struct PcmFile {
    int channels = 0;
    int sample_rate = 0;
    int bits = 0;
    int sndfile_format = 0;  // container and encoding, to write the output the same way
    std::vector<std::uint8_t> bytes;

    long long frames() const { return channels && bits ? bytes.size() / (channels * bits / 8) : 0; }
};

// Reads an integer-PCM file; false with a one-line reason otherwise.
bool read_pcm_file(const std::string& path, PcmFile& file, std::string& error);

// Writes `file` in its own format through a temporary neighbour that is renamed into place, so a
// failure leaves no half-written output.
bool write_pcm_file(const std::string& path, const PcmFile& file, std::string& error);
