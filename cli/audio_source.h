#pragma once
// One way of reading a file into the tool (libsndfile, libFLAC, libmpg123), behind AudioReader:
// what it found at open, what it read, and what it has to say about the file.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "audio_file.h"

namespace varnolt::cli {

struct AudioReader::Source {
    virtual ~Source() = default;
    // Up to `frames` interleaved frames, full scale 1.0; fewer only at the end.
    virtual long long read(double* samples, long long frames) = 0;

    AudioInfo info;
    std::string damage;   // as AudioReader::damage
    std::string warning;  // as AudioReader::warning
    EntryFaults faults;   // floating-point samples that were no audio
};

using AudioSource = AudioReader::Source;

// The ways in; each gives a source with `info` filled in, or null with a one-line reason naming
// the file in `error`.
std::unique_ptr<AudioSource> open_sndfile_source(const std::string& path, std::string& error);
std::unique_ptr<AudioSource> open_flac_source(const std::string& path, std::string& error);
std::unique_ptr<AudioSource> open_mp3_source(const std::string& path, std::string& error);

// The first `count` bytes of the audio in `path`, past an ID3v2 tag (MP3 files, and FLAC files
// now and then, start with one); false where the file holds fewer.
bool read_audio_start(const std::string& path, unsigned char* head, std::size_t count);

// Floating-point (and lossy) samples as they are, beyond full scale too, but for those that are
// no audio (entry_sample), which are replaced and counted in `source`. `in` and `out` may be one.
void take_real_samples(const double* in, std::size_t count, double* out, AudioSource& source);
void take_real_samples(const float* in, std::size_t count, double* out, AudioSource& source);

// Integer samples left-aligned in 32 bits, exactly, at full scale 1.0.
void take_integer_samples(const std::int32_t* in, std::size_t count, double* out);

// The format the file's own bits ask for: libsndfile's integer encoding of 8, 16, 24 or 32 bits
// for a width of `bits` or a little less (20-bit samples travel as 24-bit ones).
SampleFormat integer_format(int container, int bits);

}  // namespace varnolt::cli
