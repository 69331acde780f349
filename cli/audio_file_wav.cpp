// The Windows build has no libsndfile (Debian has no build of it for mingw-w64): it reads and
// writes integer-PCM WAV files with the stand-in host's header reader and writer.

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <limits>

#include "audio_file.h"
#include "block_layout.h"
#include "wav_file.h"

namespace varnolt::cli {
namespace {

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

// A RIFF chunk's length is 32 bits: larger outputs need a container this build cannot write.
constexpr long long k_most_data_bytes = std::numeric_limits<std::uint32_t>::max() - 1;

bool names_wav(const std::string& path) {
    if (path.size() < 4) return false;
    std::string ext = path.substr(path.size() - 4);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".wav";
}

}  // namespace

struct AudioReader::Source {
    File file{nullptr, std::fclose};
    AudioInfo info;
    WavLayout layout;
    long long left = 0;  // bytes of whole frames still to read
    long long got = 0;   // frames read so far
    std::string damage;
    std::string warning;
    std::vector<std::uint8_t> bytes;  // one block's worth as stored
};

AudioReader::AudioReader() = default;
AudioReader::~AudioReader() = default;

bool AudioReader::open(const std::string& path, std::string& error) {
    source_ = std::make_unique<Source>();
    Source& s = *source_;
    s.file.reset(std::fopen(path.c_str(), "rb"));
    if (!s.file) {
        error = path + ": cannot read: cannot open it";
        return false;
    }
    if (!read_wav_layout(s.file.get(), path, s.layout, error)) {
        error += " (this build reads integer-PCM WAV files)";
        return false;
    }
    if (s.layout.channels > k_most_channels) {
        error = path + ": " + too_many_channels_text(s.layout.channels);
        return false;
    }
    const int frame_bytes = s.layout.bytes_per_frame();
    s.info.channels = s.layout.channels;
    s.info.sample_rate = s.layout.sample_rate;
    s.info.format = SampleFormat{0, 0, s.layout.bits, false};
    s.info.frames = s.layout.data_bytes / frame_bytes;
    s.left = s.layout.data_bytes;
    if (s.layout.claimed_bytes > s.layout.data_bytes + frame_bytes - 1)
        s.damage =
            missing_text(s.info.frames, s.layout.claimed_bytes / frame_bytes, s.info.sample_rate);
    return true;
}

const AudioInfo& AudioReader::info() const {
    return source_->info;
}

long long AudioReader::read(double* samples, long long frames) {
    Source& s = *source_;
    const int width = s.layout.bits / 8;
    const int frame_bytes = s.layout.bytes_per_frame();
    const long long want = std::min(frames, s.left / frame_bytes);
    if (want <= 0) return 0;
    s.bytes.resize(static_cast<std::size_t>(want * frame_bytes));
    const std::size_t got = std::fread(s.bytes.data(), 1, s.bytes.size(), s.file.get());
    const long long got_frames = static_cast<long long>(got) / frame_bytes;
    for (long long i = 0; i < got_frames * s.layout.channels; ++i)
        samples[i] =
            unpack_block_sample(&s.bytes[static_cast<std::size_t>(i * width)], s.layout.bits) /
            k_left_aligned_full_scale;
    s.left -= want * frame_bytes;
    s.got += got_frames;
    if (got_frames < want) {
        s.left = 0;
        s.damage = missing_text(s.got, s.info.frames, s.info.sample_rate);
    }
    return got_frames;
}

const std::string& AudioReader::damage() const {
    return source_->damage;
}

const std::string& AudioReader::warning() const {
    return source_->warning;
}

// Integer samples only: every one is audio.
const EntryFaults& AudioReader::entry_faults() const {
    static const EntryFaults none;
    return none;
}

struct AudioWriter::Sink {
    File file{nullptr, std::fclose};
    std::string path;
    int channels = 0;
    int sample_rate = 0;
    int bits = 0;
    long long data_bytes = 0;
    std::vector<std::uint8_t> bytes;  // one block's worth as stored
};

AudioWriter::AudioWriter() = default;
AudioWriter::~AudioWriter() = default;

bool AudioWriter::open(const std::string& path, const AudioInfo& info, const SampleFormat& format,
                       std::string& error) {
    sink_ = std::make_unique<Sink>();
    Sink& s = *sink_;
    s.path = path;
    s.channels = info.channels;
    s.sample_rate = info.sample_rate;
    s.bits = format.bits;
    s.file.reset(std::fopen(path.c_str(), "wb"));
    // The lengths are filled in by finish, once known.
    const std::vector<std::uint8_t> header = wav_header(s.channels, s.sample_rate, s.bits, 0);
    if (!s.file || std::fwrite(header.data(), 1, header.size(), s.file.get()) != header.size()) {
        error = path + ": cannot write: cannot create it";
        return false;
    }
    return true;
}

bool AudioWriter::write(const double* samples, long long frames, std::string& error) {
    Sink& s = *sink_;
    const int width = s.bits / 8;
    const std::size_t count = static_cast<std::size_t>(frames) * s.channels;
    s.bytes.resize(count * width);
    for (std::size_t i = 0; i < count; ++i)
        pack_block_sample(left_aligned(samples[i]), s.bits, &s.bytes[i * width]);
    s.data_bytes += static_cast<long long>(s.bytes.size());
    if (s.data_bytes > k_most_data_bytes) {
        error = s.path + ": cannot write: a WAV file holds at most 4 GB of samples";
        return false;
    }
    if (std::fwrite(s.bytes.data(), 1, s.bytes.size(), s.file.get()) != s.bytes.size()) {
        error = s.path + ": cannot write: the disk took only part of it";
        return false;
    }
    return true;
}

bool AudioWriter::finish(std::string& error) {
    Sink& s = *sink_;
    const auto data_bytes = static_cast<std::uint32_t>(s.data_bytes);
    const std::vector<std::uint8_t> header =
        wav_header(s.channels, s.sample_rate, s.bits, data_bytes);
    const std::uint8_t pad = 0;
    bool ok = ((data_bytes & 1) == 0 || std::fwrite(&pad, 1, 1, s.file.get()) == 1) &&
              std::fseek(s.file.get(), 0, SEEK_SET) == 0 &&
              std::fwrite(header.data(), 1, header.size(), s.file.get()) == header.size();
    ok = std::fclose(s.file.release()) == 0 && ok;
    if (!ok) error = s.path + ": cannot write: the file could not be completed";
    return ok;
}

// This reader finds no metadata, so there is nothing to leave out.
const std::string& AudioWriter::left_out() const {
    static const std::string nothing;
    return nothing;
}

bool choose_output_format(const std::string& path, const AudioInfo& input, int bits,
                          SampleFormat& format, std::string& error) {
    if (!names_wav(path)) {
        error = path + ": cannot write: this build writes WAV files only";
        return false;
    }
    format = SampleFormat{0, 0, bits != 0 ? bits : input.format.bits, false};
    return true;
}

}  // namespace varnolt::cli
