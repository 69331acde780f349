// Writing audio files through libsndfile, and the format an output's name asks for.

#include <algorithm>
#include <cctype>
#include <cmath>
#include <memory>

#include "audio_file.h"
#include "audio_file_sndfile.h"
#include "block_layout.h"

namespace varnolt::cli {
namespace {

using Handle = SndfileHandle;

std::string lower_extension(const std::string& path) {
    const auto slash = path.find_last_of("/\\");
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string ext = path.substr(dot + 1);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

// The major format whose extension libsndfile lists as `ext`, plus the usual other spellings.
int container_for(const std::string& ext) {
    if (ext == "aif") return SF_FORMAT_AIFF;
    // libsndfile lists Ogg as ".oga" and MPEG audio as ".m1a"; people write ".ogg" and ".mp3".
    if (ext == "opus" || ext == "ogg") return SF_FORMAT_OGG;
    if (ext == "mp3") return SF_FORMAT_MPEG;
    int count = 0;
    sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof count);
    for (int i = 0; i < count; ++i) {
        SF_FORMAT_INFO info = {};
        info.format = i;
        sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &info, sizeof info);
        if (info.extension && ext == info.extension) return info.format & SF_FORMAT_TYPEMASK;
    }
    return 0;
}

int integer_encoding(int container, int bits) {
    switch (bits) {
        case 8:
            // WAV stores 8-bit samples unsigned, the other containers signed.
            return container == SF_FORMAT_WAV || container == SF_FORMAT_W64 ||
                           container == SF_FORMAT_RF64
                       ? SF_FORMAT_PCM_U8
                       : SF_FORMAT_PCM_S8;
        case 16:
            return SF_FORMAT_PCM_16;
        case 24:
            return SF_FORMAT_PCM_24;
        default:
            return SF_FORMAT_PCM_32;
    }
}

bool valid(int container, int encoding, int channels, int rate) {
    SF_INFO info = {};
    info.format = container | encoding;
    info.channels = channels;
    info.samplerate = rate;
    return sf_format_check(&info) != 0;
}

}  // namespace

bool choose_output_format(const std::string& path, const AudioInfo& input, int bits,
                          SampleFormat& format, std::string& error) {
    const std::string ext = lower_extension(path);
    const int container = container_for(ext);
    if (container == 0) {
        error = path + ": cannot write: no audio format is known by the extension \"." + ext + "\"";
        return false;
    }
    format = SampleFormat{};
    format.container = container;
    if (container == SF_FORMAT_OGG || container == SF_FORMAT_MPEG) {
        format.encoding = container == SF_FORMAT_MPEG ? SF_FORMAT_MPEG_LAYER_III
                          : ext == "opus"             ? SF_FORMAT_OPUS
                                                      : SF_FORMAT_VORBIS;
        format.floating = true;
        format.bits = 32;
        // libsndfile's format check passes any rate, and its Opus writer refuses most of them
        // only when it opens the file, after the whole run: say so before.
        const int rate = input.sample_rate;
        if (format.encoding == SF_FORMAT_OPUS && rate != 8000 && rate != 12000 && rate != 16000 &&
            rate != 24000 && rate != 48000) {
            error = path +
                    ": cannot write: Opus files hold 8000, 12000, 16000, 24000 or 48000 Hz, "
                    "not " +
                    std::to_string(rate) + " Hz";
            return false;
        }
    } else if (bits == 0 && input.format.floating) {
        format.encoding =
            input.format.encoding == SF_FORMAT_DOUBLE ? SF_FORMAT_DOUBLE : SF_FORMAT_FLOAT;
        format.floating = true;
        format.bits = 32;
    } else {
        format.bits = bits != 0 ? bits : input.format.bits;
        format.encoding = integer_encoding(container, format.bits);
        // The input's own encoding where it is the same width (8-bit signed stays signed).
        if (bits == 0 && container == input.format.container)
            format.encoding = input.format.encoding;
    }
    if (!valid(container, format.encoding, input.channels, input.sample_rate)) {
        if (!valid(container, format.encoding, input.channels, 44100) ||
            !valid(container, format.encoding, 2, input.sample_rate)) {
            error = path + ": cannot write: \"." + ext + "\" files cannot hold " +
                    (format.floating ? std::string("floating-point")
                                     : std::to_string(format.bits) + "-bit") +
                    " samples" + (format.floating ? " (give --bits 16 or 24)" : "");
        } else {
            error = path + ": cannot write: \"." + ext + "\" files cannot hold " +
                    std::to_string(input.channels) + " channels at " +
                    std::to_string(input.sample_rate) + " Hz";
        }
        return false;
    }
    return true;
}

struct AudioWriter::Sink {
    Handle handle{nullptr, sf_close};
    std::string path;
    int channels = 0;
    bool floating = false;
    std::vector<std::int32_t> integers;  // one block's worth on its way out
};

AudioWriter::AudioWriter() = default;
AudioWriter::~AudioWriter() = default;

bool AudioWriter::open(const std::string& path, const AudioInfo& audio, const SampleFormat& format,
                       std::string& error) {
    sink_ = std::make_unique<Sink>();
    sink_->path = path;
    sink_->channels = audio.channels;
    sink_->floating = format.floating;
    SF_INFO info = {};
    info.channels = audio.channels;
    info.samplerate = audio.sample_rate;
    info.format = format.container | format.encoding;
    sink_->handle.reset(sf_open(path.c_str(), SFM_WRITE, &info));
    if (!sink_->handle) {
        error = path + ": cannot write: " + sf_strerror(nullptr);
        return false;
    }
    SNDFILE* file = sink_->handle.get();
    // Where the container has no room for a field or the layout, libsndfile says no and the
    // audio is written all the same.
    for (const auto& [field, text] : audio.text_fields) sf_set_string(file, field, text.c_str());
    if (audio.channel_map.size() == static_cast<std::size_t>(audio.channels))
        sf_command(file, SFC_SET_CHANNEL_MAP_INFO, const_cast<int*>(audio.channel_map.data()),
                   static_cast<int>(audio.channel_map.size() * sizeof(int)));
    return true;
}

bool AudioWriter::write(const double* samples, long long frames, std::string& error) {
    Sink& s = *sink_;
    sf_count_t written = 0;
    if (s.floating) {
        written = sf_writef_double(s.handle.get(), samples, frames);
    } else {
        // Left-aligned in 32 bits, libsndfile keeps the top bits of each: the samples lie on
        // the format's steps, so nothing is rounded on the way.
        const std::size_t count = static_cast<std::size_t>(frames) * s.channels;
        if (s.integers.size() < count) s.integers.resize(count);
        for (std::size_t i = 0; i < count; ++i) s.integers[i] = left_aligned(samples[i]);
        written = sf_writef_int(s.handle.get(), s.integers.data(), frames);
    }
    if (written != frames) {
        error = s.path + ": cannot write: " + sf_strerror(s.handle.get());
        return false;
    }
    return true;
}

bool AudioWriter::finish(std::string& error) {
    if (sf_close(sink_->handle.release()) != 0) {
        error = sink_->path + ": cannot write: the file could not be completed";
        return false;
    }
    return true;
}

}  // namespace varnolt::cli
