#pragma once
// Audio files for the tool, read and written a block at a time so that a file of any length
// takes the same memory: samples travel as doubles, full scale 1.0, so that an integer sample of
// any width is exact (v / 2^(bits - 1)) and a floating-point one keeps what lies above full
// scale. The Linux build goes
// through libsndfile (WAV, FLAC, AIFF, OGG and the rest it knows); the Windows build reads and
// writes WAV itself.

#include <cstdint>
#include <memory>

#include <string>
#include <utility>
#include <vector>
#include "chain/entry_sample.h"

namespace varnolt::cli {

// How a file stores its samples.
struct SampleFormat {
    int container = 0;      // libsndfile's major format; 0 on the Windows build
    int encoding = 0;       // libsndfile's subformat; 0 on the Windows build
    int bits = 0;           // 8, 16, 24 or 32 for integer samples; 32 for floating point
    bool floating = false;  // floating-point (or lossy) samples
    // Written as RF64 in case it grows past what a WAV holds; libsndfile writes a plain WAV
    // when it turns out to fit.
    bool downgrade_when_small = false;
};

// The most channels a file may have. Every pair of channels is restored by a processing instance
// of its own, some 1.8 MB each, so the header's channel count alone would decide the memory a run
// takes (a crafted 1024-channel file asked for close to a gigabyte). Real recordings stay well
// below: 7.1 is 8 channels, 7.1.4 is 12, third-order Ambisonics 16.
constexpr int k_most_channels = 64;

struct AudioInfo {
    int channels = 0;
    int sample_rate = 0;
    SampleFormat format;
    long long frames = 0;  // what the file holds as far as its header can tell; 0 when unknown
    // What the file says of itself and the output carries over where its container can hold it:
    // libsndfile's text fields (title, artist, comment, date, …) by their SF_STR_ number, and
    // the channel layout of an extensible WAV. Read and written by the libsndfile build only.
    std::vector<std::pair<int, std::string>> text_fields;
    std::vector<int> channel_map;
    // A Broadcast WAV's extension as libsndfile hands it over; empty when the file has none.
    std::vector<unsigned char> broadcast_extension;
    // A FLAC input's Vorbis comments, every "NAME=value" (the archive's own tags among them).
    std::vector<std::string> vorbis_comments;
    // For an output: the line its coding history gains ("A=PCM,F=48000,W=24,…\r\n").
    std::string coding_history_line;
};

class AudioReader {
  public:
    AudioReader();
    ~AudioReader();
    AudioReader(const AudioReader&) = delete;
    AudioReader& operator=(const AudioReader&) = delete;

    // False with a one-line reason naming the file, also for a file of more than
    // k_most_channels channels.
    bool open(const std::string& path, std::string& error);
    const AudioInfo& info() const;

    // Reads up to `frames` interleaved frames, full scale 1.0; fewer only at the end of what can
    // be read. Floating-point (and lossy) samples pass as they are, above full scale too, but
    // for those no audio holds (see entry_sample).
    long long read(double* samples, long long frames);

    // Empty while the file reads whole; else what is missing ("only 9.9 s of 19.9 s could be
    // read", "0.1 s of 20.0 s could not be decoded"). A header that promises more than the file
    // holds is known at open; a file damaged inside is known once the reading has ended.
    const std::string& damage() const;
    // Empty, or what the user should know of a file that reads all the same, known at open
    // ("its header gives no length, …: read to its end").
    const std::string& warning() const;
    // Floating-point input only: the samples that were not audio and what took their place.
    const EntryFaults& entry_faults() const;

    struct Source;

  private:
    std::unique_ptr<Source> source_;
};

class AudioWriter {
  public:
    AudioWriter();
    ~AudioWriter();
    AudioWriter(const AudioWriter&) = delete;
    AudioWriter& operator=(const AudioWriter&) = delete;

    // Creates `path` for samples laid out as `info` says, stored in `format`.
    bool open(const std::string& path, const AudioInfo& info, const SampleFormat& format,
              std::string& error);
    // Samples, full scale 1.0, already reduced to the format's steps where it holds integers
    // (values beyond its range saturate); a floating-point format takes them as they are.
    bool write(const double* samples, long long frames, std::string& error);
    // Completes the file (headers, lengths) and reads it back; false if it could not be
    // completed or does not read back whole.
    bool finish(std::string& error);
    // After finish: what of the input's metadata the output's container could not hold ("the
    // title, the channel layout"), or empty.
    const std::string& left_out() const;

    struct Sink;

  private:
    std::unique_ptr<Sink> sink_;
};

// The format OUT is written in: the container its extension names, the input's bit depth (or
// `bits` when not 0), floating point again for floating-point input. False with a reason when
// the container cannot hold such samples or the extension names none.
bool choose_output_format(const std::string& path, const AudioInfo& input, int bits,
                          SampleFormat& format, std::string& error);

// "only 9.9 s of 19.9 s could be read", with more decimals where one would show the same two
// numbers, and as "the last 12 samples of 3.0 s could not be read" where even those would.
std::string missing_text(long long read_frames, long long promised_frames, int sample_rate);

// "0.1 s of 20.0 s could not be decoded", never "0.0 s" for something lost.
std::string undecoded_text(long long lost_frames, long long all_frames, int sample_rate);

// "cannot read: 1024 channels; this tool restores at most 64".
std::string too_many_channels_text(int channels);

}  // namespace varnolt::cli
