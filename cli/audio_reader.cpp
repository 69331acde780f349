// The reader of the Linux build: FLAC through libFLAC, which goes on past a damaged frame and
// says where each frame belongs; MPEG audio through libmpg123, which measures the stream
// exactly and is kept quiet; everything else through libsndfile.

#include <sndfile.h>

#include <cstring>

#include "audio_source.h"

namespace varnolt::cli {
namespace {

enum class Kind { flac, mpeg, other };

// By the first bytes past an ID3v2 tag: "fLaC", or an MPEG audio frame header (sync, a layer,
// a bit rate and a sample rate that exist).
Kind kind_of(const std::string& path) {
    unsigned char h[4];
    if (!read_audio_start(path, h, sizeof h)) return Kind::other;
    if (std::memcmp(h, "fLaC", 4) == 0) return Kind::flac;
    const int layer = (h[1] >> 1) & 3, bitrate = h[2] >> 4, rate = (h[2] >> 2) & 3;
    if (h[0] == 0xFF && (h[1] & 0xE0) == 0xE0 && layer != 0 && bitrate != 15 && rate != 3)
        return Kind::mpeg;
    return Kind::other;
}

}  // namespace

AudioReader::AudioReader() = default;
AudioReader::~AudioReader() = default;

bool AudioReader::open(const std::string& path, std::string& error) {
    switch (kind_of(path)) {
        case Kind::flac:
            source_ = open_flac_source(path, error);
            break;
        case Kind::mpeg:
            source_ = open_mp3_source(path, error);
            break;
        case Kind::other:
            source_ = open_sndfile_source(path, error);
            // libsndfile also finds these where their start is hidden; read them the same way.
            if (source_ && source_->info.format.container == SF_FORMAT_FLAC)
                source_ = open_flac_source(path, error);
            else if (source_ && source_->info.format.container == SF_FORMAT_MPEG)
                source_ = open_mp3_source(path, error);
            break;
    }
    if (!source_) return false;
    if (source_->info.channels > k_most_channels) {
        error = path + ": " + too_many_channels_text(source_->info.channels);
        source_.reset();
        return false;
    }
    return true;
}

const AudioInfo& AudioReader::info() const {
    return source_->info;
}

long long AudioReader::read(double* samples, long long frames) {
    return source_->read(samples, frames);
}

const std::string& AudioReader::damage() const {
    return source_->damage;
}

const std::string& AudioReader::warning() const {
    return source_->warning;
}

const EntryFaults& AudioReader::entry_faults() const {
    return source_->faults;
}

}  // namespace varnolt::cli
