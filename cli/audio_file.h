#pragma once
// Audio files for the tool: read into 32-bit samples, written in the format the output's
// extension names. The Linux build goes through libsndfile (WAV, FLAC, AIFF, OGG and the rest it
// knows); the Windows build reads and writes WAV itself.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace varnolt::cli {

// How a file stores its samples.
struct SampleFormat {
    int container = 0;      // libsndfile's major format; 0 on the Windows build
    int encoding = 0;       // libsndfile's subformat; 0 on the Windows build
    int bits = 0;           // 8, 16, 24 or 32 for integer samples; 32 for floating point
    bool floating = false;  // floating-point (or lossy) samples
};

struct AudioFile {
    int channels = 0;
    int sample_rate = 0;
    SampleFormat format;
    // Interleaved samples, integers left-aligned in 32 bits; floating-point samples scaled so
    // that full scale is 2^31 and clipped there, as a player converting them would.
    std::vector<std::int32_t> samples;
    // Empty for a whole file; else what is missing ("only 9.9 s of 19.9 s could be read"): the
    // samples then hold what could be read.
    std::string damage;
    // Floating-point input only: samples beyond full scale clipped to it, and samples that were
    // not numbers (NaN went to 0, infinities to full scale).
    long long clipped = 0;
    long long not_numbers = 0;
    // What the file says of itself and the output carries over where its container can hold it:
    // libsndfile's text fields (title, artist, comment, date, …) by their SF_STR_ number, and
    // the channel layout of an extensible WAV. Read and written by the libsndfile build only.
    std::vector<std::pair<int, std::string>> text_fields;
    std::vector<int> channel_map;

    long long frames() const { return channels ? samples.size() / channels : 0; }
};

// Reads the file; false with a one-line reason naming it.
bool read_audio_file(const std::string& path, AudioFile& audio, std::string& error);

// The format OUT is written in: the container its extension names, the input's bit depth (or
// `bits` when not 0), floating point again for floating-point input. False with a reason when
// the container cannot hold such samples or the extension names none.
bool choose_output_format(const std::string& path, const AudioFile& input, int bits,
                          SampleFormat& format, std::string& error);

// Writes `audio` to `path` in `format` (no temporary name: see write_file_safely).
bool write_audio_file(const std::string& path, const AudioFile& audio, const SampleFormat& format,
                      std::string& error);

}  // namespace varnolt::cli
